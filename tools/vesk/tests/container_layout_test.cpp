// The container pack writes, read back field by field: the example setup
// with strings of 44, 39, 4 and 1 bytes, a 78-byte text block and texts of
// 1, 124, 162, 126, 1 and 1 bytes.
#include <gtest/gtest.h>

#include "byte_order.h"
#include "pack.h"
#include "setup_file.h"
#include "tool_test_support.h"

namespace vesk::test {
namespace {

constexpr size_t kProductDataSize = 664576;

// Bit by bit, as the CRC-32 of ISO-HDLC is defined; no table, no zlib.
uint32_t BitwiseCrc32(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0u - (crc & 1)));
    }
    return ~crc;
}

class ExampleContainer : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        const std::string name43 = std::string(39, 'p') + ".msi";
        WriteFakeMsi(name43, kProductDataSize);
        WriteText("settings.ini",
                  "[VeskInstaller]\n"
                  "ProductFile=" + name43 + "\n"
                  "ProductCode={6F2C1A44-3B7E-4D2A-9C51-0E8B7A9D4F10}\n"
                  "ProductVersion=1.2\n"  // with an empty TransformMSI
                  "ProductName=" + std::string(22, 'N') + "\n"
                  "RuntimeVersion=1.10.1029.1\n"
                  "AdminError=" + std::string(123, 'a') + "\n"
                  "ExistError=%s " + std::string(158, 'e') + "\n"
                  "SpaceError=" + std::string(125, 's') + "\n");
        PackOptions options;
        options.request.settingsFile = Path("settings.ini");
        options.output = Path("setup.exe");
        options.stub = WriteStub();
        Pack(options);
        setup_ = OpenSetup(Path("setup.exe"));
        file_ = ReadFile(Path("setup.exe"));
    }

    const uint8_t* Container() const { return file_.data() + setup_.containerOffset; }

    SetupFile setup_;
    std::vector<uint8_t> file_;
};

TEST_F(ExampleContainer, StringLengthsAndDescriptorBytes) {
    const uint8_t* c = Container();
    EXPECT_EQ(std::vector<int>(c + 28, c + 32), (std::vector<int>{44, 39, 4, 1})) << "s0..s3";
    const uint8_t* d = c + 32 + 44 + 39 + 4 + 1;
    EXPECT_EQ(std::vector<int>(d, d + 10), (std::vector<int>{0, 8, 78, 1, 1, 124, 162, 126, 1, 1})) << "d0..d9";
}

TEST_F(ExampleContainer, StringsCarryTheirNul) {
    const auto& s = setup_.head->strings;
    EXPECT_EQ(s[1], std::string("{6F2C1A44-3B7E-4D2A-9C51-0E8B7A9D4F10}") + '\0');
    EXPECT_EQ(s[2], std::string("1.2") + '\0');
    EXPECT_EQ(s[3], std::string(1, '\0')) << "an empty transform base is a lone NUL";
}

TEST_F(ExampleContainer, TextBlockHoldsFontProductNameAndInitLine) {
    EXPECT_EQ(setup_.head->textBlock, std::string("MS Sans Serif") + '\0' + std::string(22, 'N') + '\0' +
                                          "Initializing Vesk Installation Wizard..." + '\0');
    EXPECT_EQ(setup_.head->skipped, std::string(1, '\0')) << "one NUL after the text block";
}

TEST_F(ExampleContainer, TextTableAndTextOffsets) {
    EXPECT_EQ(setup_.head->textTableOffset, 209u);
    const uint8_t* c = Container();
    EXPECT_EQ(c[209], 0) << "CmdLine is a single NUL at the table's start";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(c + 496), 126), std::string(125, 's') + '\0')
        << "SpaceError (MessageId 7) is 126 bytes at 496";
}

TEST_F(ExampleContainer, HeaderWords) {
    const uint8_t* c = Container();
    EXPECT_EQ(Load32(c + 0), 1252u) << "the texts' code page, which the setup never reads";
    EXPECT_EQ(Load32(c + 4), 0u) << "no NT runtime";
    EXPECT_EQ(Load32(c + 8), file_.size()) << "the whole file's size";
    EXPECT_EQ(Load32(c + 12), (1u << 16) | 10);
    EXPECT_EQ(Load32(c + 16), (1029u << 16) | 1);
    EXPECT_EQ(Load32(c + 20), 0u) << "no 95/98 runtime";
    EXPECT_EQ(Load32(c + 24), 664580u) << "product stored size";
}

TEST_F(ExampleContainer, ProductPayloadSpans624To665203WithItsCrcLast) {
    ASSERT_EQ(setup_.payloads.size(), 1u);
    EXPECT_EQ(setup_.payloads[0].offset - setup_.containerOffset, 624u);
    const uint8_t* c = Container();
    const auto product = ReadFile(Path(std::string(39, 'p') + ".msi"));
    EXPECT_TRUE(std::equal(product.begin(), product.end(), c + 624)) << "data stored as they are";
    EXPECT_EQ(Load32(c + 665200), BitwiseCrc32(product.data(), product.size())) << "trailer at 665,200..665,203";
}

TEST_F(ExampleContainer, SectionHoldsTheContainerFileAligned) {
    const PeSection& vesk = setup_.PayloadSection();
    EXPECT_EQ(vesk.sizeOfRawData % 0x200, 0u);
    EXPECT_GE(vesk.sizeOfRawData, 665204u);
    EXPECT_LT(vesk.sizeOfRawData, 665204u + 0x200) << "no more than alignment fill";
    EXPECT_EQ(vesk.virtualSize, 0x1000u) << "VirtualSize stays";
}

}  // namespace
}  // namespace vesk::test

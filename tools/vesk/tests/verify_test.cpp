// verify finds what is wrong with a setup, one problem per line.
#include <gtest/gtest.h>

#include "failure.h"
#include "describe_setup.h"
#include "pack.h"
#include "setup_file.h"
#include "tool_test_support.h"
#include "verify.h"

namespace vesk::test {
namespace {

class Verify : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        WriteFakeMsi("product.msi", 70000);
        WriteFakeMsi("nt.exe", 5000);
        WriteFakeMsi("9x.exe", 4000);
        WriteText("settings.ini",
                  "[VeskInstaller]\nProductFile=product.msi\nRuntimeNT=nt.exe\nRuntime9X=9x.exe\n"
                  "ProductCode={6F2C1A44-3B7E-4D2A-9C51-0E8B7A9D4F10}\nProductVersion=1.0\nProductName=P\n");
        PackOptions options;
        options.request.settingsFile = Path("settings.ini");
        options.output = Path("setup.exe");
        options.stub = WriteStub();
        Pack(options);
        bytes_ = ReadFile(Path("setup.exe"));
        setup_ = OpenSetup(Path("setup.exe"));
    }

    std::vector<std::string> VerifyBytes(const std::vector<uint8_t>& bytes) {
        WriteFile(Path("changed.exe"), bytes);
        return VerifySetup(Path("changed.exe"));
    }

    static bool Mentions(const std::vector<std::string>& problems, const std::string& text) {
        for (const std::string& p : problems)
            if (p.find(text) != std::string::npos) return true;
        return false;
    }

    std::vector<uint8_t> bytes_;
    SetupFile setup_;
};

TEST_F(Verify, PackedSetupIsSound) {
    EXPECT_EQ(VerifySetup(Path("setup.exe")), std::vector<std::string>{});
}

TEST_F(Verify, FlippedByteInEachPayloadIsCaught) {
    for (const PayloadInfo& p : setup_.payloads) {
        std::vector<uint8_t> bytes = bytes_;
        bytes[p.offset + p.storedSize / 2] ^= 0x01;
        auto problems = VerifySetup((WriteFile(Path("changed.exe"), bytes), Path("changed.exe")));
        const std::string name = NamesOf(p.id).name;
        EXPECT_TRUE(Mentions(problems, name + " payload CRC-32")) << name;
    }
}

TEST_F(Verify, FlippedTrailerIsCaught) {
    std::vector<uint8_t> bytes = bytes_;
    const PayloadInfo& product = setup_.payloads.back();
    bytes[product.offset + product.storedSize - 1] ^= 0x80;
    EXPECT_TRUE(Mentions(VerifyBytes(bytes), "product payload CRC-32"));
}

TEST_F(Verify, OneByteLongerIsCaught) {
    std::vector<uint8_t> bytes = bytes_;
    bytes.push_back(0);
    EXPECT_TRUE(Mentions(VerifyBytes(bytes), "the setup expects " + std::to_string(bytes_.size())));
}

TEST_F(Verify, OneByteShorterIsCaught) {
    std::vector<uint8_t> bytes = bytes_;
    bytes.pop_back();
    EXPECT_TRUE(Mentions(VerifyBytes(bytes), "the setup expects " + std::to_string(bytes_.size())));
}

TEST_F(Verify, StaleCheckSumIsCaught) {
    std::vector<uint8_t> bytes = bytes_;
    bytes[setup_.image.CheckSumOffset()] ^= 0x10;
    EXPECT_TRUE(Mentions(VerifyBytes(bytes), "CheckSum"));
}

// What a loader holds an image to: each breach is named.
TEST_F(Verify, LayoutBreachesAreCaught) {
    const std::vector<PeSection>& sections = setup_.image.sections;
    const struct {
        uint32_t offset;
        uint32_t value;
        const char* problem;
    } cases[] = {
        // .text, which covers 0x2000 bytes of memory once .VESK has moved
        {sections.front().headerOffset + 16, 0x3000, "a loader may lay them over those"},
        {sections.back().headerOffset + 12, sections.back().virtualAddress + 0x1000, "where the one before it ends"},
        {setup_.image.SizeOfImageOffset(), setup_.image.sizeOfImage + 0x1000, "SizeOfImage"},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes = bytes_;
        for (int i = 0; i < 4; ++i) bytes[c.offset + i] = static_cast<uint8_t>(c.value >> (8 * i));
        EXPECT_TRUE(Mentions(VerifyBytes(bytes), c.problem)) << c.problem;
    }
}

TEST_F(Verify, PlaceholderStubIsNotASetup) {
    EXPECT_TRUE(Mentions(VerifySetup(Path("stub.exe")), "placeholder"));
}

TEST_F(Verify, PayloadSizesPastTheSectionAreCaughtWithoutReadingPastTheFile) {
    std::vector<uint8_t> bytes = bytes_;
    bytes[setup_.containerOffset + 24 + 3] = 0x7F;  // product size near 2 GiB
    EXPECT_TRUE(Mentions(VerifyBytes(bytes), "product payload runs past"));
}

TEST_F(Verify, CutSetupsAreReportedNeverMisread) {
    const size_t container = setup_.containerOffset;
    for (size_t length : {size_t{0}, size_t{1}, size_t{63}, size_t{200}, size_t{0x200}, container + 10, container + 100,
                          container + 300, bytes_.size() / 2, bytes_.size() - 1}) {
        std::vector<uint8_t> cut(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(length));
        WriteFile(Path("cut.exe"), cut);
        try {
            EXPECT_FALSE(VerifySetup(Path("cut.exe")).empty()) << "cut at " << length;
            InspectSetup(Path("cut.exe"));
        } catch (const Failure&) {
            // A file too short to read as a setup is a reported failure too.
        }
    }
}

}  // namespace
}  // namespace vesk::test

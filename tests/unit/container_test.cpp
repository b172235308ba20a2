// The payload section lookup, the container header, stored texts and the
// file size check, read from setup executables on the simulated machine.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "container/container.h"
#include "container_fixture.h"
#include "driver/settings.h"
#include "pe_builder.h"
#include "sim/sim.h"

using container_fixture::OpenContainer;
using container_fixture::Position;
using pe_builder::Stored;

namespace {

class Container : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
    void TearDown() override {
        if (g_run.containerFile > 0) _lclose(g_run.containerFile);
    }
};

// The example of the format's documentation: string lengths 44, 39, 4, 1;
// descriptor bytes 0, 8, 78, 1, 1, 124, 162, 126, 1, 1; product size 664,580.
pe_builder::Container ExampleContainer() {
    pe_builder::Container c;
    c.requiredRuntimeMS = (1u << 16) | 10;
    c.requiredRuntimeLS = (1029u << 16) | 1;
    c.productSize = 664580;
    c.productFileName = Stored(std::string(43, 'p'));
    c.productCode = Stored("{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}");
    c.productVersion = Stored("1.0");
    c.transformBase = Stored("");
    c.fontCharSet = 0;
    c.fontPointSize = 8;
    c.textBlock = Stored("MS Sans Serif") + Stored("Example Product Editor") +
                  Stored("Initializing Vesk Installation Wizard...");
    c.skipped = Stored("");
    c.texts = {Stored(""), Stored(std::string(123, 'a')), Stored(std::string(161, 'e')),
               Stored("Space: " + std::string(118, 's')), Stored(""), Stored("")};
    c.payloads = pe_builder::Payload(pe_builder::PatternBytes(664576));
    return c;
}

uint32_t OpenExample() {
    auto image = pe_builder::BuildSetup(ExampleContainer().Bytes());
    OpenContainer(image.bytes);
    return image.rawOffsets[1];
}

std::vector<pe_builder::Section> WithVesk(uint32_t rawSize, const std::string& name = ".VESK") {
    return {{".text", std::string(16, 'x')}, {name, "container", rawSize}, {".rsrc", "r"}};
}

}  // namespace

TEST_F(Container, ExampleLayoutMatchesDocumentedOffsets) {
    pe_builder::Container c = ExampleContainer();
    ASSERT_EQ(44u, c.productFileName.size());
    ASSERT_EQ(39u, c.productCode.size());
    ASSERT_EQ(78u, c.textBlock.size());
    uint32_t base = OpenExample();
    ASSERT_EQ(0, FindPayloadSection());
    EXPECT_TRUE(g_run.embedded);
    EXPECT_EQ(LONG(base), Position()) << "the lookup leaves the cursor at the container";
    ReadContainerHeader();
    EXPECT_EQ(LONG(base + 209), g_run.textTableOffset);
    EXPECT_EQ(LONG(base + 624), Position()) << "the header load ends at the product payload";
    EXPECT_EQ(664580u, g_settings.productSize);
    EXPECT_EQ((1u << 16) | 10, g_settings.requiredRuntimeMS);
    EXPECT_EQ((1029u << 16) | 1, g_settings.requiredRuntimeLS);
    EXPECT_STREQ("{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}", g_settings.productCode);
    EXPECT_STREQ("1.0", g_settings.productVersion);
    EXPECT_STREQ("", g_settings.transformBase);
    EXPECT_STREQ("MS Sans Serif", FontFace());
    EXPECT_STREQ("Example Product Editor", ProductName());
    EXPECT_STREQ("Initializing Vesk Installation Wizard...", InitLine());
    EXPECT_TRUE(g_settings.removePrevious) << "always on in embedded mode";
    EXPECT_EQ(126, g_run.textLengths[MSG_SPACE_ERROR]);
}

TEST_F(Container, StoredTextsComeFromTheirOffsets) {
    uint32_t base = OpenExample();
    FindPayloadSection();
    ReadContainerHeader();
    char text[TEXT_FIELD];
    ReadStoredText(text, MSG_SPACE_ERROR);
    EXPECT_EQ("Space: " + std::string(118, 's'), std::string(text));
    std::string file = sim::files::Get(container_fixture::kSetupPath);
    EXPECT_EQ(0, file.compare(base + 496, 7, "Space: ")) << "MessageId 7 is stored at 496";
    ReadStoredText(text, MSG_CMDLINE);
    EXPECT_STREQ("", text) << "MessageId 4 is a single NUL";
    EXPECT_EQ('\0', file[base + 209]);
    ReadStoredText(text, MSG_EXIST_ERROR);
    EXPECT_EQ(std::string(161, 'e'), std::string(text));
}

TEST_F(Container, StoredTextAndSizeCheckRestorePosition) {
    OpenExample();
    FindPayloadSection();
    ReadContainerHeader();
    LONG before = Position();
    char text[TEXT_FIELD];
    for (int id = MESSAGE_ID_FIRST; id <= MESSAGE_ID_LAST; ++id) {
        ReadStoredText(text, MessageId(id));
        EXPECT_EQ(before, Position()) << "after ReadStoredText " << id;
    }
    EXPECT_TRUE(CheckFileSize());
    EXPECT_EQ(before, Position()) << "after CheckFileSize";
}

TEST_F(Container, TextOfLengthZeroOrOneIsEmpty) {
    pe_builder::Container c;
    c.texts = {"", Stored(""), Stored("x"), "", "", ""};
    OpenContainer(pe_builder::BuildSetup(c.Bytes()).bytes);
    FindPayloadSection();
    ReadContainerHeader();
    char text[TEXT_FIELD] = "stale";
    ReadStoredText(text, MSG_CMDLINE);
    EXPECT_STREQ("", text) << "length 0";
    std::string("stale").copy(text, 6);
    ReadStoredText(text, MSG_ADMIN_ERROR);
    EXPECT_STREQ("", text) << "length 1";
    ReadStoredText(text, MSG_EXIST_ERROR);
    EXPECT_STREQ("x", text);
}

TEST_F(Container, SizeCheckCatchesOneByteMoreOrLess) {
    pe_builder::Container c;
    c.productSize = 8;
    c.payloads = pe_builder::Payload("data");
    auto image = pe_builder::BuildSetup(c.Bytes());
    OpenContainer(image.bytes);
    FindPayloadSection();
    ReadContainerHeader();
    EXPECT_TRUE(CheckFileSize());
    _lclose(g_run.containerFile);
    OpenContainer(image.bytes + "x");
    FindPayloadSection();
    ReadContainerHeader();
    EXPECT_FALSE(CheckFileSize()) << "one byte longer";
    _lclose(g_run.containerFile);
    OpenContainer(image.bytes.substr(0, image.bytes.size() - 1));
    FindPayloadSection();
    ReadContainerHeader();
    EXPECT_FALSE(CheckFileSize()) << "one byte shorter";
}

TEST_F(Container, SkippingBothRuntimesLandsOnProduct) {
    for (auto [nt, x9] : {std::pair<uint32_t, uint32_t>{0, 12}, {20, 0}, {9, 30}}) {
        sim::Reset();
        pe_builder::Container c;
        c.runtimeNTSize = nt;
        c.runtime9XSize = x9;
        c.productSize = 8;
        c.payloads = std::string(x9, '9') + std::string(nt, 'n') + pe_builder::Payload("PROD");
        OpenContainer(pe_builder::BuildSetup(c.Bytes()).bytes);
        FindPayloadSection();
        ReadContainerHeader();
        SkipPayloads(g_settings.runtime9XSize + g_settings.runtimeNTSize);
        char product[4];
        EXPECT_EQ(4u, _lread(g_run.containerFile, product, 4));
        EXPECT_EQ("PROD", std::string(product, 4)) << "runtime sizes NT " << nt << ", 9x " << x9;
        _lclose(g_run.containerFile);
    }
}

TEST_F(Container, PlaceholderOf4096IsSideFileAnd4097Embedded) {
    OpenContainer(pe_builder::BuildImage(WithVesk(4096)).bytes);
    EXPECT_EQ(0, FindPayloadSection());
    EXPECT_FALSE(g_run.embedded);
    _lclose(g_run.containerFile);
    OpenContainer(pe_builder::BuildImage(WithVesk(4097)).bytes);
    EXPECT_EQ(0, FindPayloadSection());
    EXPECT_TRUE(g_run.embedded);
}

TEST_F(Container, LowerCaseNameIsNotThePayloadSection) {
    OpenContainer(pe_builder::BuildImage(WithVesk(8192, ".vesk")).bytes);
    EXPECT_EQ(1, FindPayloadSection());
}

TEST_F(Container, FirstOfTwoPayloadSectionsIsUsed) {
    auto image = pe_builder::BuildImage(
        {{".VESK", "first", 4096}, {".VESK", "second", 8192}, {".rsrc", "r"}});
    OpenContainer(image.bytes);
    ASSERT_EQ(0, FindPayloadSection());
    EXPECT_EQ(LONG(image.rawOffsets[0]), Position());
    EXPECT_FALSE(g_run.embedded) << "the first one is the placeholder";
}

TEST_F(Container, EightCharacterNameIsReadWithinItsField) {
    OpenContainer(pe_builder::BuildImage(WithVesk(8192, ".VESKXYZ")).bytes);
    EXPECT_EQ(1, FindPayloadSection());
}

TEST_F(Container, SectionTableFollowsTheDataDirectories) {
    for (uint32_t directories : {16u, 2u, 0u}) {
        sim::Reset();
        auto image = pe_builder::BuildImage(WithVesk(8192), directories);
        OpenContainer(image.bytes);
        EXPECT_EQ(0, FindPayloadSection()) << directories << " data directories";
        EXPECT_EQ(LONG(image.rawOffsets[1]), Position());
        _lclose(g_run.containerFile);
    }
}

TEST_F(Container, NotAnImageOrNoSectionsIsNoPayloadSection) {
    OpenContainer("not an executable at all");
    EXPECT_EQ(1, FindPayloadSection());
    _lclose(g_run.containerFile);
    OpenContainer(pe_builder::BuildImage({}).bytes);
    EXPECT_EQ(1, FindPayloadSection()) << "no sections";
    _lclose(g_run.containerFile);
    OpenContainer("");
    EXPECT_EQ(1, FindPayloadSection()) << "empty file";
}

TEST_F(Container, HeadersBeyondTheProbeAreNoPayloadSection) {
    // The section table ends at 1536 + 40 at this offset.
    auto image = pe_builder::BuildImage(WithVesk(8192), 16, 1536 - 248 - 40 * 3 + 40);
    OpenContainer(image.bytes);
    EXPECT_EQ(1, FindPayloadSection()) << "table past the probe";
    _lclose(g_run.containerFile);
    image = pe_builder::BuildImage(WithVesk(8192), 16, 1536 - 248 - 40 * 3);
    OpenContainer(image.bytes);
    EXPECT_EQ(0, FindPayloadSection()) << "table ending exactly at the probe's end";
    _lclose(g_run.containerFile);

    std::string far = pe_builder::BuildImage(WithVesk(8192)).bytes;
    pe_builder::PutDword(far, 60, 0xFFFFFFF0u);
    OpenContainer(far);
    EXPECT_EQ(1, FindPayloadSection()) << "e_lfanew far outside";
    _lclose(g_run.containerFile);
    std::string many = pe_builder::BuildImage(WithVesk(8192)).bytes;
    pe_builder::PutDword(many, 0x80 + 116, 0x20000000u);
    OpenContainer(many);
    EXPECT_EQ(1, FindPayloadSection()) << "a directory count that would wrap";
}

TEST_F(Container, LongStringsAreCutWhileThePositionFollowsTheStoredLength) {
    pe_builder::Container c;
    c.productCode = Stored(std::string(100, 'c'));
    c.productVersion = std::string(70, 'v');  // no NUL stored either
    c.productFileName = std::string(255, 'f');
    c.texts[MSG_SPACE_ERROR - MESSAGE_ID_FIRST] = Stored("space");
    OpenContainer(pe_builder::BuildSetup(c.Bytes()).bytes);
    FindPayloadSection();
    ReadContainerHeader();
    EXPECT_EQ(std::string(63, 'c'), std::string(g_settings.productCode));
    EXPECT_EQ(std::string(63, 'v'), std::string(g_settings.productVersion));
    EXPECT_EQ(std::string(255, 'f'), std::string(g_settings.productFileName));
    char text[TEXT_FIELD];
    ReadStoredText(text, MSG_SPACE_ERROR);
    EXPECT_STREQ("space", text) << "the text table was found after the long strings";
}

TEST_F(Container, TextBlockWithFewerStringsGivesEmptyOnes) {
    pe_builder::Container c;
    c.textBlock = Stored("Tahoma");
    OpenContainer(pe_builder::BuildSetup(c.Bytes()).bytes);
    FindPayloadSection();
    ReadContainerHeader();
    EXPECT_STREQ("Tahoma", FontFace());
    EXPECT_STREQ("", ProductName());
    EXPECT_STREQ("", InitLine());
}

TEST_F(Container, UnterminatedTextBlockKeepsAllThreeStringsInside) {
    pe_builder::Container c;
    c.textBlock = std::string(255, 'F');
    OpenContainer(pe_builder::BuildSetup(c.Bytes()).bytes);
    FindPayloadSection();
    ReadContainerHeader();
    const char* block = g_settings.textBlock;
    EXPECT_EQ(std::string(253, 'F'), std::string(FontFace()));
    for (const char* s : {FontFace(), ProductName(), InitLine()})
        EXPECT_TRUE(s >= block && s + std::string(s).size() < block + TEXT_BLOCK_FIELD);
}

TEST_F(Container, UnterminatedStoredTextIsTerminatedInsideTheBuffer) {
    pe_builder::Container c;
    c.texts[MSG_CRC_ERROR - MESSAGE_ID_FIRST] = std::string(255, 'z');
    OpenContainer(pe_builder::BuildSetup(c.Bytes()).bytes);
    FindPayloadSection();
    ReadContainerHeader();
    std::vector<char> text(TEXT_FIELD, 'q');  // exactly the field, so an overrun is caught
    ReadStoredText(text.data(), MSG_CRC_ERROR);
    EXPECT_EQ(std::string(255, 'z'), std::string(text.data()));
}

// Cut-short and random files: whatever they hold, reading them never runs
// past a buffer (the sanitizers watch) and leaves the three block strings
// terminated inside the block.
static void ReadEverything() {
    if (FindPayloadSection() == 0 && g_run.embedded) {
        ReadContainerHeader();
        char text[TEXT_FIELD];
        for (int id = MESSAGE_ID_FIRST; id <= MESSAGE_ID_LAST; ++id) ReadStoredText(text, MessageId(id));
        CheckFileSize();
    }
    const char* block = g_settings.textBlock;
    for (const char* s : {FontFace(), ProductName(), InitLine()}) {
        bool inside = s >= block && s < block + TEXT_BLOCK_FIELD;
        size_t room = inside ? size_t(block + TEXT_BLOCK_FIELD - s) : 1;
        EXPECT_LT(strnlen(s, room), room) << "a block string runs out of the block";
    }
}

TEST_F(Container, TruncatedSetupsAreReadSafely) {
    std::string image = pe_builder::BuildSetup(ExampleContainer().Bytes()).bytes;
    for (size_t cut = 0; cut < 1024 + 700; cut += 7) {
        sim::Reset();
        OpenContainer(image.substr(0, cut));
        ReadEverything();
        _lclose(g_run.containerFile);
    }
}

TEST_F(Container, RandomBytesAreReadSafely) {
    std::mt19937 random(20261208);
    std::string image = pe_builder::BuildSetup(ExampleContainer().Bytes()).bytes.substr(0, 4096);
    for (int round = 0; round < 200; ++round) {
        sim::Reset();
        std::string noisy = image;
        // Keep the image findable half of the time, so the container is read.
        size_t from = round % 2 ? 1024 : 0;
        for (size_t i = from; i < noisy.size(); ++i)
            if (random() % 8 == 0) noisy[i] = char(random());
        OpenContainer(noisy);
        ReadEverything();
        _lclose(g_run.containerFile);
    }
}

// The payload section lookup, the container header, stored texts and the
// file size check, read from setup executables on the simulated machine.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "container/container.h"
#include "container_fixture.h"
#include "container/settings.h"
#include "pe_builder.h"
#include "sim/resources.h"
#include "sim/sim.h"

using container_fixture::OpenContainer;
using container_fixture::Position;
using pe_builder::Stored;

namespace {

class Container : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
    void TearDown() override { Close(); }

    static void Close() {
        if (g_run.containerFile > 0) _lclose(g_run.containerFile);
        g_run.containerFile = 0;
    }
    // Opens a setup and reads its header as an embedded run does.
    static void OpenAndRead(const std::string& image) {
        Close();
        OpenContainer(image);
        ASSERT_TRUE(FindPayloadSection());
        ReadContainerHeader();
    }
    static void OpenAndRead(const pe_builder::Container& c) { OpenAndRead(pe_builder::BuildSetup(c).bytes); }
    static std::string Text(MessageId id) {
        char text[TEXT_FIELD];
        std::memcpy(text, "stale", 6);
        ReadStoredText(text, id);
        return text;
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
    c.textBlock = Stored("MS Sans Serif") + Stored("Example Product Editor") +
                  Stored("Initializing Vesk Installation Wizard...");
    c.texts = {Stored(""), Stored(std::string(123, 'a')), Stored(std::string(161, 'e')),
               Stored("Space: " + std::string(118, 's')), Stored(""), Stored("")};
    c.payloads = pe_builder::Payload(pe_builder::PatternBytes(664576));
    return c;
}

std::vector<pe_builder::Section> WithVesk(uint32_t rawSize, const std::string& name = ".VESK") {
    return {{".text", std::string(16, 'x')}, {name, "container", rawSize}, {".rsrc", "r"}};
}

}  // namespace

TEST_F(Container, ExampleLayoutMatchesDocumentedOffsets) {
    pe_builder::Container c = ExampleContainer();
    ASSERT_EQ(78u, c.textBlock.size()) << "the example as documented";
    auto image = pe_builder::BuildSetup(c);
    uint32_t base = image.rawOffsets[1];
    OpenContainer(image.bytes);
    ASSERT_TRUE(FindPayloadSection());
    EXPECT_TRUE(g_run.embedded);
    EXPECT_EQ(LONG(base), Position()) << "the lookup leaves the cursor at the container";
    ReadContainerHeader();
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

    std::string file = sim::files::Get(container_fixture::kSetupPath);
    EXPECT_EQ("Space: " + std::string(118, 's'), Text(MSG_SPACE_ERROR));
    EXPECT_EQ(0, file.compare(base + 496, 7, "Space: ")) << "MessageId 7 is stored at 496";
    EXPECT_EQ("", Text(MSG_CMDLINE)) << "MessageId 4 is a single NUL";
    EXPECT_EQ('\0', file[base + 209]);
    EXPECT_EQ(std::string(161, 'e'), Text(MSG_EXIST_ERROR));
}

TEST_F(Container, StoredTextAndSizeCheckRestorePosition) {
    OpenAndRead(ExampleContainer());
    LONG before = Position();
    for (int id = MESSAGE_ID_FIRST; id <= MESSAGE_ID_LAST; ++id) {
        Text(MessageId(id));
        EXPECT_EQ(before, Position()) << "after ReadStoredText " << id;
    }
    EXPECT_TRUE(CheckFileSize());
    EXPECT_EQ(before, Position()) << "after CheckFileSize";
}

TEST_F(Container, TextOfLengthZeroOrOneIsEmpty) {
    pe_builder::Container c;
    c.texts = {"", Stored(""), Stored("x"), "", "", ""};
    OpenAndRead(c);
    EXPECT_EQ("", Text(MSG_CMDLINE)) << "length 0";
    EXPECT_EQ("", Text(MSG_ADMIN_ERROR)) << "length 1";
    EXPECT_EQ("x", Text(MSG_EXIST_ERROR));
}

TEST_F(Container, SizeCheckCatchesOneByteMoreOrLess) {
    pe_builder::Container c;
    c.productSize = 8;
    c.payloads = pe_builder::Payload("data");
    std::string image = pe_builder::BuildSetup(c).bytes;
    OpenAndRead(image);
    EXPECT_TRUE(CheckFileSize()) << "the recorded size";
    OpenAndRead(image + "x");
    EXPECT_FALSE(CheckFileSize()) << "one byte longer";
    OpenAndRead(image.substr(0, image.size() - 1));
    EXPECT_FALSE(CheckFileSize()) << "one byte shorter";
}

TEST_F(Container, SkippingBothRuntimesLandsOnProduct) {
    for (auto [nt, x9] : {std::pair<uint32_t, uint32_t>{0, 12}, {20, 0}, {9, 30}}) {
        pe_builder::Container c;
        c.runtimeNTSize = nt;
        c.runtime9XSize = x9;
        c.productSize = 8;
        c.payloads = std::string(x9, '9') + std::string(nt, 'n') + pe_builder::Payload("PROD");
        OpenAndRead(c);
        SkipPayloads(g_settings.runtime9XSize + g_settings.runtimeNTSize);
        char product[4];
        EXPECT_EQ(4u, _lread(g_run.containerFile, product, 4));
        EXPECT_EQ("PROD", std::string(product, 4)) << "runtime sizes NT " << nt << ", 9x " << x9;
    }
}

TEST_F(Container, PayloadSectionLookup) {
    // The section table ends at 1536 + 40 with this e_lfanew: past the probe.
    const uint32_t pastProbe = 1536 - 248 - 40 * 3 + 40;
    std::string farHeader = pe_builder::BuildImage(WithVesk(8192)).bytes;
    pe_builder::PutDword(farHeader, 60, 0xFFFFFFF0u);
    std::string wrappingCount = pe_builder::BuildImage(WithVesk(8192)).bytes;
    pe_builder::PutDword(wrappingCount, 0x80 + 116, 0x20000000u);
    auto twoSections = pe_builder::BuildImage({{".VESK", "first", 4096}, {".VESK", "second", 8192}, {".rsrc", "r"}});
    auto embedded = pe_builder::BuildImage(WithVesk(4097));
    auto noDirectories = pe_builder::BuildImage(WithVesk(8192), 0);
    auto twoDirectories = pe_builder::BuildImage(WithVesk(8192), 2);
    using pe_builder::kPe32Plus;
    auto plus = pe_builder::BuildImage(WithVesk(8192), 16, 0x80, kPe32Plus);
    auto plusNoDirectories = pe_builder::BuildImage(WithVesk(4096), 0, 0x80, kPe32Plus);
    // A PE32+ image whose directory count the lookup read at the PE32 place
    // would find nothing; read there, this one's section table is garbage.
    std::string plusReadAsPe32 = pe_builder::BuildImage(WithVesk(8192), 16, 0x80, pe_builder::kPe32).bytes;
    pe_builder::PutWord(plusReadAsPe32, 0x80 + 24, kPe32Plus);
    // A PE32+ header with 16 directories and three sections at this e_lfanew
    // ends exactly at the probe's end.
    const uint32_t plusAtProbeEnd = 1536 - (136 + 8 * 16) - 40 * 3;
    // NumberOfRvaAndSizes of a PE32+ image at this e_lfanew lies past the probe.
    std::string plusCountPastProbe(4096, '\0');
    plusCountPastProbe[0] = 'M';
    plusCountPastProbe[1] = 'Z';
    pe_builder::PutDword(plusCountPastProbe, 60, 1536 - 128);
    pe_builder::PutWord(plusCountPastProbe, 1536 - 128 + 6, 1);
    pe_builder::PutWord(plusCountPastProbe, 1536 - 128 + 24, kPe32Plus);
    auto withMagic = [&](uint16_t magic) {
        std::string image = pe_builder::BuildImage(WithVesk(8192)).bytes;
        pe_builder::PutWord(image, 0x80 + 24, magic);
        return image;
    };
    const struct {
        const char* name;
        std::string image;
        bool found;
        std::optional<bool> embedded;
        std::optional<uint32_t> position;
    } cases[] = {
        // `embedded`: the image carries the digest record. The mode is the
        // image's: a file's section size never turns it.
        {"a 4096-byte placeholder is side-file mode", pe_builder::BuildImage(WithVesk(4096)).bytes, true, false, {}},
        {"a packed image reads a placeholder as embedded", pe_builder::BuildImage(WithVesk(4096)).bytes, true, true, {}},
        {"an image without the record reads 8192 bytes as side-file mode", pe_builder::BuildImage(WithVesk(8192)).bytes,
         true, false, {}},
        {"4097 bytes are embedded; 16 data directories", embedded.bytes, true, true, embedded.rawOffsets[1]},
        {"the first of two sections is used", twoSections.bytes, true, false, twoSections.rawOffsets[0]},
        {"no data directories", noDirectories.bytes, true, true, noDirectories.rawOffsets[1]},
        {"two data directories", twoDirectories.bytes, true, true, twoDirectories.rawOffsets[1]},
        {"a lower-case name is another section", pe_builder::BuildImage(WithVesk(8192, ".vesk")).bytes, false, {}, {}},
        {"an eight-character name is read within its field", pe_builder::BuildImage(WithVesk(8192, ".VESKXYZ")).bytes, false, {}, {}},
        {"not an image", "not an executable at all", false, {}, {}},
        {"no sections", pe_builder::BuildImage({}).bytes, false, {}, {}},
        {"an empty file", "", false, {}, {}},
        {"a section table past the probe", pe_builder::BuildImage(WithVesk(8192), 16, pastProbe).bytes, false, {}, {}},
        {"a section table ending exactly at the probe's end",
         pe_builder::BuildImage(WithVesk(8192), 16, pastProbe - 40).bytes, true, true, {}},
        {"e_lfanew far outside", farHeader, false, {}, {}},
        {"a directory count that would wrap", wrappingCount, false, {}, {}},
        {"PE32+ with 16 data directories", plus.bytes, true, true, plus.rawOffsets[1]},
        {"PE32+ placeholder without data directories", plusNoDirectories.bytes, true, false,
         plusNoDirectories.rawOffsets[1]},
        {"PE32+ magic on a PE32 layout", plusReadAsPe32, false, {}, {}},
        {"PE32+ section table ending exactly at the probe's end",
         pe_builder::BuildImage(WithVesk(8192), 16, plusAtProbeEnd, kPe32Plus).bytes, true, true, {}},
        {"PE32+ section table past the probe",
         pe_builder::BuildImage(WithVesk(8192), 16, plusAtProbeEnd + 8, kPe32Plus).bytes, false, {}, {}},
        {"PE32+ directory count past the probe", plusCountPastProbe, false, {}, {}},
        {"ROM image magic", withMagic(0x107), false, {}, {}},
        {"no magic", withMagic(0), false, {}, {}},
        {"magic with its bytes swapped", withMagic(0x0B01), false, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Close();
        sim::Reset();
        if (c.embedded.value_or(false))
            sim::ReplaceResource(10, DIGEST_RESOURCE_ID, std::vector<uint8_t>(DIGEST_RECORD_SIZE));
        OpenContainer(c.image);
        EXPECT_EQ(c.found, bool(FindPayloadSection()));
        if (c.embedded) {
            EXPECT_EQ(*c.embedded, bool(g_run.embedded));
        }
        if (c.position) {
            EXPECT_EQ(LONG(*c.position), Position());
        }
    }
}

TEST_F(Container, LongOrUnterminatedStringsAreCutWhileThePositionFollowsTheStoredLength) {
    pe_builder::Container c;
    c.productCode = Stored(std::string(100, 'c'));
    c.productVersion = std::string(70, 'v');  // no NUL stored either
    c.productFileName = std::string(255, 'f');
    c.texts[MSG_SPACE_ERROR - MESSAGE_ID_FIRST] = Stored("space");
    OpenAndRead(c);
    EXPECT_EQ(std::string(63, 'c'), std::string(g_settings.productCode));
    EXPECT_EQ(std::string(63, 'v'), std::string(g_settings.productVersion));
    EXPECT_EQ(std::string(255, 'f'), std::string(g_settings.productFileName));
    EXPECT_EQ("space", Text(MSG_SPACE_ERROR)) << "the text table was found after the long strings";
    c.texts[MSG_CRC_ERROR - MESSAGE_ID_FIRST] = std::string(255, 'z');
    OpenAndRead(c);
    std::vector<char> text(TEXT_FIELD, 'q');  // exactly the field, so an overrun is caught
    ReadStoredText(text.data(), MSG_CRC_ERROR);
    EXPECT_EQ(std::string(255, 'z'), std::string(text.data())) << "a stored text without its NUL";
}



TEST_F(Container, TextBlockWithFewerStringsGivesEmptyOnesAndUnterminatedKeepsAllInside) {
    pe_builder::Container c;
    c.textBlock = Stored("Tahoma");
    OpenAndRead(c);
    EXPECT_STREQ("Tahoma", FontFace());
    EXPECT_STREQ("", ProductName());
    EXPECT_STREQ("", InitLine());
    c.textBlock = std::string(255, 'F');
    OpenAndRead(c);
    const char* block = g_settings.textBlock;
    EXPECT_EQ(std::string(253, 'F'), std::string(FontFace())) << "an unterminated block";
    for (const char* s : {FontFace(), ProductName(), InitLine()})
        EXPECT_TRUE(s >= block && s + std::string(s).size() < block + TEXT_BLOCK_FIELD) << "inside the block";
}

// Cut-short and random files: whatever they hold, reading them never runs
// past a buffer (the sanitizers watch) and leaves the three block strings
// terminated inside the block.
static void ReadEverything(const std::string& image) {
    sim::Reset();
    OpenContainer(image);
    if (FindPayloadSection() && g_run.embedded) {
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
    _lclose(g_run.containerFile);
}

TEST_F(Container, TruncatedSetupsAreReadSafely) {
    std::string image = pe_builder::BuildSetup(ExampleContainer()).bytes;
    for (size_t cut = 0; cut < 1024 + 700; cut += 7) ReadEverything(image.substr(0, cut));
}

TEST_F(Container, RandomBytesAreReadSafely) {
    std::mt19937 random(20261208);
    std::string image = pe_builder::BuildSetup(ExampleContainer()).bytes.substr(0, 4096);
    for (int round = 0; round < 200; ++round) {
        std::string noisy = image;
        // Keep the image findable half of the time, so the container is read.
        size_t from = round % 2 ? 1024 : 0;
        for (size_t i = from; i < noisy.size(); ++i)
            if (random() % 8 == 0) noisy[i] = char(random());
        ReadEverything(noisy);
    }
}

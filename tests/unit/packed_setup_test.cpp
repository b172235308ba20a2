// Setups written by the vesk tool, read by the stub's own container code on
// the simulated machine: the writer and the reader agree on every field,
// and a settings file packs to what the stub reads from it beside itself.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "container/container.h"
#include "container/extract.h"
#include "container_fixture.h"
#include "container/settings.h"
#include "base/text.h"
#include "pe_builder.h"
#include "sim/files.h"
#include "sim/sim.h"

namespace {

namespace fs = std::filesystem;

const fs::path kVesk = fs::path(VESK_BINARY_DIR) / "vesk";
// The stub the build made, which the build copies beside vesk.
const fs::path kStub = fs::path(VESK_BINARY_DIR) / "vesk-stub.exe";

// Values that exercise the profile rules: keys in other cases, blanks
// around values, quotes, a prefix without its blank, a '^' suffix.
const std::string kSettings =
    "[VeskInstaller]\r\n"
    "ProductFile=product.msi\r\n"
    "runtimeNT = nt.exe\r\n"
    "Runtime9X=9x.exe\r\n"
    "PRODUCTCODE={6F2C1A44-3B7E-4D2A-9C51-0E8B7A9D4F10}\r\n"
    "ProductVersion = 4.2.1 \r\n"
    "ProductName=\"  Spaced Name  \"\r\n"
    "RuntimeVersion=3.1.4000.2\r\n"
    "CharFont=Tahoma\r\n"
    "CharSet=186\r\n"
    "CharSize=11\r\n"
    "VeskInitPrefix=Preparing\r\n"
    "VeskInitSuffix=^Setup\r\n"
    "CmdLine=/qb ALLUSERS=1\r\n"
    "AdminError='Administrators only.'\r\n"
    "ExistError=%s (%s) is installed. Remove it?\r\n"
    "SpaceError=No room.\r\n"
    "Reboot=Restart?\r\n";

std::string ReadHostFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

uint32_t Word(const std::string& b, size_t at) { return uint8_t(b.at(at)) | uint8_t(b.at(at + 1)) << 8; }
uint32_t Dword(const std::string& b, size_t at) { return Word(b, at) | Word(b, at + 2) << 16; }

// The bytes of resource (type, id), first language, found in the image as
// Windows finds them: the resource directory's three levels, from the
// data directory's RVA through the section that holds it.
std::vector<uint8_t> ResourceOf(const std::string& image, uint16_t type, uint16_t id) {
    size_t h = Dword(image, 60);
    size_t optional = h + 24;
    size_t directories = optional + (Word(image, optional) == 0x20B ? 112 : 96);
    uint32_t root = Dword(image, directories + 2 * 8);
    size_t table = optional + Word(image, h + 20);
    size_t rootAt = 0;
    uint32_t sectionRva = 0, sectionRaw = 0;
    for (size_t i = 0; i < Word(image, h + 6); ++i) {
        size_t section = table + 40 * i;
        uint32_t rva = Dword(image, section + 12), raw = Dword(image, section + 20);
        if (root >= rva && root < rva + Dword(image, section + 8)) {
            sectionRva = rva;
            sectionRaw = raw;
            rootAt = raw + (root - rva);
        }
    }
    if (!rootAt) return {};
    auto entry = [&](size_t directory, std::optional<uint32_t> wanted) -> std::optional<uint32_t> {
        size_t count = Word(image, directory + 12) + Word(image, directory + 14);
        for (size_t i = 0; i < count; ++i) {
            size_t at = directory + 16 + 8 * i;
            if (!wanted || Dword(image, at) == *wanted) return Dword(image, at + 4) & 0x7FFFFFFF;
        }
        return std::nullopt;
    };
    auto byType = entry(rootAt, type);
    auto byName = byType ? entry(rootAt + *byType, id) : std::nullopt;
    auto data = byName ? entry(rootAt + *byName, std::nullopt) : std::nullopt;
    if (!data) return {};
    size_t dataAt = sectionRaw + (Dword(image, rootAt + *data) - sectionRva);
    return std::vector<uint8_t>(image.begin() + long(dataAt), image.begin() + long(dataAt + Dword(image, rootAt + *data + 4)));
}

void WriteHostFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

class PackedSetup : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kVesk)) GTEST_SKIP() << "no " << kVesk << " (build the vesk target)";
        if (!fs::exists(kStub)) GTEST_SKIP() << "no " << kStub << " (scripts/build copies it there)";
        dir_ = fs::temp_directory_path() / ("vesk-packed-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        product_ = std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + pe_builder::PatternBytes(150000);
        WriteHostFile(dir_ / "product.msi", product_);
        WriteHostFile(dir_ / "nt.exe", pe_builder::PatternBytes(7000));
        WriteHostFile(dir_ / "9x.exe", pe_builder::PatternBytes(5000));
        WriteHostFile(dir_ / "settings.ini", kSettings);
        const std::string command = "'" + kVesk.string() + "' pack '" + (dir_ / "settings.ini").string() + "' -o '" +
                                    (dir_ / "setup.exe").string() + "' --stub '" + kStub.string() +
                                    "' 2>'" + (dir_ / "pack.err").string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << ReadHostFile(dir_ / "pack.err");
        setup_ = ReadHostFile(dir_ / "setup.exe");
        sim::Reset();
        g_run = RunState{};
        g_settings = SetupSettings{};
    }
    void TearDown() override {
        if (g_run.containerFile > 0) _lclose(g_run.containerFile);
        if (!dir_.empty()) fs::remove_all(dir_);
    }

    // Opens the packed setup and reads its header as an embedded run does,
    // with the digest record vesk wrote as the running image's.
    void ReadEmbedded() {
        sim::ReplaceResource(10, DIGEST_RESOURCE_ID, ResourceOf(setup_, 10, DIGEST_RESOURCE_ID));
        container_fixture::OpenContainer(setup_);
        ASSERT_TRUE(FindPayloadSection());
        ASSERT_TRUE(g_run.embedded) << "the packed section is larger than the placeholder";
        ASSERT_TRUE(ReadContainerHeader()) << "the head vesk wrote is the head it recorded";
    }

    std::string StoredText(MessageId id) {
        char text[TEXT_FIELD];
        ReadStoredText(text, id);
        return text;
    }

    fs::path dir_;
    std::string product_;
    std::string setup_;
};

TEST_F(PackedSetup, StubFindsTheSettingsAndTextsPackWrote) {
    ReadEmbedded();
    EXPECT_STREQ(g_settings.productFileName, "product.msi");
    EXPECT_STREQ(g_settings.productCode, "{6F2C1A44-3B7E-4D2A-9C51-0E8B7A9D4F10}");
    EXPECT_STREQ(g_settings.productVersion, "4.2.1");
    EXPECT_STREQ(g_settings.transformBase, "");
    EXPECT_EQ(g_settings.requiredRuntimeMS, (3u << 16) | 1);
    EXPECT_EQ(g_settings.requiredRuntimeLS, (4000u << 16) | 2);
    EXPECT_EQ(g_settings.fontCharSet, 186);
    EXPECT_EQ(g_settings.fontPointSize, 11);
    EXPECT_STREQ(FontFace(), "Tahoma");
    EXPECT_STREQ(ProductName(), "  Spaced Name  ");
    EXPECT_STREQ(InitLine(), "Preparing Vesk Installation Setup");
    EXPECT_EQ(StoredText(MSG_CMDLINE), "/qb ALLUSERS=1");
    EXPECT_EQ(StoredText(MSG_ADMIN_ERROR), "Administrators only.");
    EXPECT_EQ(StoredText(MSG_EXIST_ERROR), "%s (%s) is installed. Remove it?");
    EXPECT_EQ(StoredText(MSG_SPACE_ERROR), "No room.");
    EXPECT_EQ(StoredText(MSG_CRC_ERROR), "") << "not configured: stored as one NUL";
    EXPECT_EQ(StoredText(MSG_REBOOT), "Restart?");
}

TEST_F(PackedSetup, StubFindsThePayloadsInOrder) {
    ReadEmbedded();
    EXPECT_EQ(g_settings.runtime9XSize, 5004);
    EXPECT_EQ(g_settings.runtimeNTSize, 7004);
    EXPECT_EQ(g_settings.productSize, product_.size() + 4);
    EXPECT_TRUE(CheckFileSize()) << "the recorded size is the setup's";
    // Each payload extracted and held as a run does: CRC-32 and digest match.
    ASSERT_TRUE(BuildCrcTable());
    const struct {
        LONG size;
        DigestIndex digest;
        std::string data;
    } payloads[] = {{g_settings.runtime9XSize, DIGEST_RUNTIME_9X, pe_builder::PatternBytes(5000)},
                    {g_settings.runtimeNTSize, DIGEST_RUNTIME_NT, pe_builder::PatternBytes(7000)},
                    {LONG(g_settings.productSize), DIGEST_PRODUCT, product_}};
    for (const auto& p : payloads) {
        const std::string path = "C:\\Out\\payload" + std::to_string(p.digest);
        sim::files::MakeDirectory("C:\\Out");
        HANDLE hold;
        EXPECT_EQ(EXTRACTED, ExtractHeldFile(CreateNewFile(path.c_str()), path.c_str(), p.size, p.digest, &hold));
        CloseHandle(hold);
        EXPECT_EQ(p.data, sim::files::Get(path)) << p.digest;
    }
}

TEST_F(PackedSetup, SettingsFileBesideTheStubReadsTheSame) {
    ReadEmbedded();
    const SetupSettings embedded = g_settings;
    const std::string fontFace = FontFace(), productName = ProductName(), initLine = InitLine();
    _lclose(g_run.containerFile);
    g_run = RunState{};  // side-file mode from here
    g_settings = SetupSettings{};
    sim::files::Put("C:\\Side\\setup.ini", kSettings);
    CopyText(g_run.ownPath, PATH_BUFFER, "C:\\Side\\setup.exe");
    ASSERT_TRUE(LoadSideSettings());
    EXPECT_STREQ(g_settings.productCode, embedded.productCode);
    EXPECT_STREQ(g_settings.productVersion, embedded.productVersion);
    EXPECT_STREQ(g_settings.transformBase, embedded.transformBase);
    EXPECT_EQ(g_settings.requiredRuntimeMS, embedded.requiredRuntimeMS);
    EXPECT_EQ(g_settings.requiredRuntimeLS, embedded.requiredRuntimeLS);
    EXPECT_EQ(g_settings.fontCharSet, embedded.fontCharSet);
    EXPECT_EQ(g_settings.fontPointSize, embedded.fontPointSize);
    EXPECT_EQ(FontFace(), fontFace);
    EXPECT_EQ(ProductName(), productName);
    EXPECT_EQ(InitLine(), initLine);
    char text[TEXT_FIELD];
    LoadMessageText(text, MSG_EXIST_ERROR, g_run.iniPath, "ExistError", "built-in");
    EXPECT_STREQ(text, "%s (%s) is installed. Remove it?");
}

}  // namespace

// The version resource: its VS_VERSIONINFO layout read back by hand, its
// text, and what pack puts into it on both stubs.
#include <gtest/gtest.h>

#include <algorithm>

#include "byte_order.h"
#include "tool_test_support.h"
#include "version_resource.h"

namespace vesk::test {
namespace {

std::u16string KeyAt(const std::vector<uint8_t>& bytes, size_t at) {
    std::u16string key;
    for (; Load16(&bytes[at]) != 0; at += 2) key.push_back(static_cast<char16_t>(Load16(&bytes[at])));
    return key;
}

TEST(VersionResource, LayoutReadsBackFieldByField) {
    const VersionInfo info{{0x00020003, 0x00040005}, {{"CompanyName", "Acme"}, {"ProductName", "Café"}}};
    const std::vector<uint8_t> bytes = BuildVersionResource(info);
    EXPECT_EQ(Load16(&bytes[0]), bytes.size()) << "wLength of the root is the whole resource";
    EXPECT_EQ(Load16(&bytes[2]), 52u) << "wValueLength: VS_FIXEDFILEINFO";
    EXPECT_EQ(Load16(&bytes[4]), 0u) << "binary";
    EXPECT_EQ(KeyAt(bytes, 6), u"VS_VERSION_INFO");
    // 6 + 32 bytes of key with its NUL, padded to 40.
    EXPECT_EQ(Load32(&bytes[40]), 0xFEEF04BDu);
    EXPECT_EQ(Load32(&bytes[44]), 0x00010000u);
    EXPECT_EQ(Load32(&bytes[48]), 0x00020003u) << "FileVersionMS";
    EXPECT_EQ(Load32(&bytes[52]), 0x00040005u) << "FileVersionLS";
    EXPECT_EQ(Load32(&bytes[56]), 0x00020003u) << "ProductVersionMS";
    EXPECT_EQ(Load32(&bytes[60]), 0x00040005u) << "ProductVersionLS";
    EXPECT_EQ(Load32(&bytes[72]), 0x00040004u) << "VOS_NT_WINDOWS32";
    EXPECT_EQ(Load32(&bytes[76]), 1u) << "VFT_APP";
    const size_t fileInfo = 92;
    EXPECT_EQ(KeyAt(bytes, fileInfo + 6), u"StringFileInfo");
    const size_t table = fileInfo + 36;
    EXPECT_EQ(KeyAt(bytes, table + 6), u"040904B0");
    const size_t first = table + 24;
    EXPECT_EQ(Load16(&bytes[first + 2]), 5u) << "wValueLength counts characters with the NUL";
    EXPECT_EQ(Load16(&bytes[first + 4]), 1u) << "text";
    EXPECT_EQ(KeyAt(bytes, first + 6), u"CompanyName");
    EXPECT_EQ(KeyAt(bytes, first + 32), u"Acme") << "after 6 + 24 bytes of key, padded to 32";
    const size_t second = first + ((Load16(&bytes[first]) + 3) & ~3u);
    EXPECT_EQ(KeyAt(bytes, second + 6), u"ProductName");
    EXPECT_EQ(KeyAt(bytes, second + 32), u"Caf\u00e9") << "UTF-8 becomes UTF-16";
    const size_t varInfo = fileInfo + ((Load16(&bytes[fileInfo]) + 3) & ~3u);
    EXPECT_EQ(KeyAt(bytes, varInfo + 6), u"VarFileInfo");
    EXPECT_EQ(KeyAt(bytes, varInfo + 32 + 6), u"Translation");
    EXPECT_EQ(Load32(&bytes[varInfo + 32 + 32]), 0x04B00409u) << "US English, Unicode";

    const auto back = ParseVersionResource(bytes);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->fixed.ms, info.fixed.ms);
    EXPECT_EQ(back->fixed.ls, info.fixed.ls);
    EXPECT_EQ(back->strings, info.strings);
}

// The resource holds UTF-16, whatever code page the setup's texts are in.
TEST(VersionResource, TextBeyondAnyCodePageIsKept) {
    const std::string name = "Gr\u00fc\u00dfe \u65e5\u672c \U0001F600";
    const std::vector<uint8_t> bytes = BuildVersionResource({{}, {{"ProductName", name}}});
    const std::u16string wide = u"Gr\u00fc\u00dfe \u65e5\u672c \U0001F600";
    EXPECT_NE(std::search(bytes.begin(), bytes.end(), reinterpret_cast<const uint8_t*>(wide.data()),
                          reinterpret_cast<const uint8_t*>(wide.data() + wide.size())),
              bytes.end());
    const auto back = ParseVersionResource(bytes);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->strings[0].second, name);
}

TEST(VersionResource, CutOrDamagedResourcesReadAsNone) {
    const std::vector<uint8_t> bytes = BuildVersionResource({{1, 2}, {{"ProductName", "X"}}});
    for (size_t cut : {0ul, 5ul, 39ul, 91ul}) {
        std::vector<uint8_t> shorter(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_FALSE(ParseVersionResource(shorter).has_value()) << cut;
    }
    std::vector<uint8_t> damaged = bytes;
    Store32(&damaged[40], 0);
    EXPECT_FALSE(ParseVersionResource(damaged).has_value()) << "no fixed-info signature";
    damaged = bytes;
    damaged[92] = 0xFF;  // StringFileInfo claims more than there is
    damaged[93] = 0xFF;
    EXPECT_FALSE(ParseVersionResource(damaged).has_value());
}

class VersionPack : public ToolTest {};

TEST_F(VersionPack, StringsComeFromTheProductAndTheSettingsOnBothStubs) {
    ASSERT_FALSE(SampleMsi().empty());
    std::filesystem::copy_file(SampleMsi(), Path("sample.msi"));
    for (const char* stub : {VESK_REAL_STUB, VESK_REAL_STUB_X64}) {
        SCOPED_TRACE(stub);
        ToolRun pack = RunTool({"pack", "--product", Path("sample.msi").string(), "--stub", stub, "-o",
                                Path("my-setup.exe").string()});
        ASSERT_EQ(pack.exitCode, 0) << pack.err;
        ToolRun inspect = RunTool({"inspect", Path("my-setup.exe").string()});
        for (const char* line : {"fixedVersion: \"1.2.3.0\"", "CompanyName: \"Vesk\"", "FileDescription: \"Vesk Sample Setup\"",
                                 "FileVersion: \"1.2.3\"", "OriginalFilename: \"my-setup.exe\"",
                                 "ProductName: \"Vesk Sample\"", "ProductVersion: \"1.2.3\""})
            EXPECT_NE(inspect.out.find(line), std::string::npos) << line << "\n" << inspect.out;
        EXPECT_EQ(inspect.out.find("LegalCopyright"), std::string::npos) << "only when given";

        pack = RunTool({"pack", "--product", Path("sample.msi").string(), "--stub", stub, "-o", Path("setup.exe").string(),
                        "--set", "VersionCompanyName=Acme Ltd", "--set", "VersionLegalCopyright=(c) Acme",
                        "--set", "VersionFileDescription="});
        ASSERT_EQ(pack.exitCode, 0) << pack.err;
        inspect = RunTool({"inspect", Path("setup.exe").string()});
        EXPECT_NE(inspect.out.find("CompanyName: \"Acme Ltd\""), std::string::npos) << inspect.out;
        EXPECT_NE(inspect.out.find("LegalCopyright: \"(c) Acme\""), std::string::npos);
        EXPECT_EQ(inspect.out.find("FileDescription"), std::string::npos) << "given empty, left out";

        std::filesystem::remove_all(Path("out"));
        ASSERT_EQ(RunTool({"unpack", Path("setup.exe").string(), "-d", Path("out").string()}).exitCode, 0);
        ToolRun again = RunTool({"pack", (Path("out") / "setup.ini").string(), "--stub", stub, "-o", Path("again.exe").string()});
        ASSERT_EQ(again.exitCode, 0) << again.err;
        EXPECT_EQ(ReadFile(Path("again.exe")), ReadFile(Path("setup.exe"))) << "the strings survive unpack and pack";
    }
}

TEST_F(VersionPack, AVersionStringTooLongOrWithALineBreakIsRefused) {
    WriteFakeMsi("product.msi", 100);
    WriteStub();
    const std::string identity = "--product-code={6F2C1A44-3B7E-4D2A-9C51-0E8B7A9D4F10}";
    for (const std::string& set : {"VersionCompanyName=" + std::string(1001, 'x'), std::string("VersionProductName=a\nb")}) {
        ToolRun run = RunTool({"pack", "--product", Path("product.msi").string(), "--stub", Path("stub.exe").string(),
                               identity, "--product-version=1", "--product-name=P", "--set", set, "-o",
                               Path("setup.exe").string()});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("--set Version"), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists(Path("setup.exe")));
    }
}

}  // namespace
}  // namespace vesk::test

// The application manifest that --execution-level embeds.
#include <gtest/gtest.h>

#include "ini_file.h"
#include "manifest.h"
#include "tool_test_support.h"

namespace vesk::test {
namespace {

TEST(Manifest, EachLevelIsWrittenAndReadBackWithEveryWindowsFromVistaTo11) {
    for (const char* level : {"asInvoker", "highestAvailable", "requireAdministrator"}) {
        ASSERT_TRUE(IsExecutionLevel(level));
        const std::vector<uint8_t> manifest = BuildManifest(level);
        EXPECT_EQ(ManifestExecutionLevel(manifest), level);
        const std::string text(manifest.begin(), manifest.end());
        for (const char* os : {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                               "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                               "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"})
            EXPECT_NE(text.find(std::string("<supportedOS Id=\"{") + os + "}\"/>"), std::string::npos) << os;
    }
    EXPECT_FALSE(IsExecutionLevel("requireadministrator")) << "Windows compares the level exactly";
    const std::string other = "<assembly><requestedExecutionLevel uiAccess=\"false\"/><x level=\"asInvoker\"/></assembly>";
    EXPECT_FALSE(ManifestExecutionLevel(std::vector<uint8_t>(other.begin(), other.end())).has_value())
        << "a level of another element is not the execution level";
}

class ManifestPack : public ToolTest {};

TEST_F(ManifestPack, TheLevelIsEmbeddedShownAndUnpackedOnBothStubs) {
    ASSERT_FALSE(SampleMsi().empty());
    std::filesystem::copy_file(SampleMsi(), Path("sample.msi"));
    for (const char* stub : {VESK_REAL_STUB, VESK_REAL_STUB_X64}) {
        SCOPED_TRACE(stub);
        ToolRun plain = RunTool({"pack", "--product", Path("sample.msi").string(), "--stub", stub, "-o", Path("plain.exe").string()});
        ASSERT_EQ(plain.exitCode, 0) << plain.err;
        EXPECT_EQ(RunTool({"inspect", Path("plain.exe").string()}).out.find("manifest"), std::string::npos)
            << "no manifest unless asked for";

        ToolRun pack = RunTool({"pack", "--product", Path("sample.msi").string(), "--stub", stub, "-o",
                                Path("setup.exe").string(), "--execution-level", "requireAdministrator"});
        ASSERT_EQ(pack.exitCode, 0) << pack.err;
        EXPECT_NE(RunTool({"inspect", Path("setup.exe").string()}).out.find("executionLevel: \"requireAdministrator\""),
                  std::string::npos);
        std::filesystem::remove_all(Path("out"));
        ASSERT_EQ(RunTool({"unpack", Path("setup.exe").string(), "-d", Path("out").string()}).exitCode, 0);
        EXPECT_EQ(IniSection::Read(Path("out") / "setup.ini", "VeskInstaller").Get("ExecutionLevel"), "requireAdministrator");
        ASSERT_EQ(RunTool({"pack", (Path("out") / "setup.ini").string(), "--stub", stub, "-o", Path("again.exe").string()}).exitCode, 0);
        EXPECT_EQ(ReadFile(Path("again.exe")), ReadFile(Path("setup.exe")));
    }
}

TEST_F(ManifestPack, AnUnknownLevelIsOneLineAndNoOutput) {
    ASSERT_FALSE(SampleMsi().empty());
    std::filesystem::copy_file(SampleMsi(), Path("sample.msi"));
    ToolRun run = RunTool({"pack", "--product", Path("sample.msi").string(), "--stub", VESK_REAL_STUB, "-o",
                           Path("setup.exe").string(), "--execution-level", "admin"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "vesk: --execution-level: ExecutionLevel: 'admin' is not asInvoker, highestAvailable or "
                       "requireAdministrator\n");
    EXPECT_FALSE(std::filesystem::exists(Path("setup.exe")));
}

}  // namespace
}  // namespace vesk::test

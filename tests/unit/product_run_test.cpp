// Whole runs, from the entry routine to the exit code: a setup executable
// installs its product through the installer engine, in both modes.
#include <gtest/gtest.h>

#include <string>

#include "driver/run_state.h"
#include "pe_builder.h"
#include "runtime/installer.h"
#include "sim/files.h"
#include "sim/msgbox.h"
#include "sim/registry.h"
#include "sim/shell.h"
#include "sim/sim.h"
#include "sim/windows.h"
#include "ui/ui.h"

namespace {

const char* const kEngine = "C:\\WINDOWS\\SYSTEM32\\msiexec.exe";
const char* const kCommonFiles = "C:\\Program Files\\Common Files";
const char* const kPlaced =
    "C:\\Program Files\\Common Files\\Vesk Installation Wizard\\product.MSI";
const char* const kCode = "{11111111-2222-3333-4444-555555555555}";
const char* const kDatabase = "the product's installer database";

class ProductRun : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        sim::registry::SetText("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "CommonFilesDir",
                               kCommonFiles);
    }

    // An embedded setup at C:\Setup\setup.exe carrying both runtime
    // installers (stepped over: the installed runtime is recent enough) and
    // the product.
    static void PutEmbeddedSetup(const std::string& productPayload = pe_builder::Payload(kDatabase)) {
        pe_builder::Container container;
        std::string runtime9X = pe_builder::Payload("runtime for 95/98");
        std::string runtimeNT = pe_builder::Payload("runtime for NT");
        container.runtime9XSize = uint32_t(runtime9X.size());
        container.runtimeNTSize = uint32_t(runtimeNT.size());
        container.productSize = uint32_t(productPayload.size());
        container.payloads = runtime9X + runtimeNT + productPayload;
        sim::files::Put("C:\\Setup\\setup.exe", pe_builder::BuildSetup(container.Bytes()).bytes);
        sim::SetModulePath("C:\\Setup\\setup.exe");
        sim::SetCommandLine("\"C:\\Setup\\setup.exe\"");
    }

    static void ScriptEngine(uint32_t exitCode) {
        sim::shell::Program engine;
        engine.exitCode = exitCode;
        engine.runMs = 2000;
        engine.onStart = [] {
            EXPECT_EQ(sim::files::Get(kPlaced), kDatabase) << "the database is on disk";
        };
        sim::shell::Script(kEngine, engine);
    }
};

TEST_F(ProductRun, AnEmbeddedSetupPlacesTheDatabaseAndRunsTheEngineOnIt) {
    PutEmbeddedSetup();
    ScriptEngine(0);
    EXPECT_EQ(sim::RunEntry(), 0u);
    ASSERT_EQ(sim::shell::Starts().size(), 1u);
    EXPECT_EQ(sim::shell::Starts()[0].file, kEngine);
    EXPECT_EQ(sim::shell::Starts()[0].parameters,
              std::string("/I \"") + kPlaced + "\" VESK_SETUP_EXE_PATH=\"C:\\Setup\\setup.exe\"");
    EXPECT_FALSE(sim::shell::Starts()[0].hasDirectory);
    EXPECT_TRUE(sim::MessageBoxes().empty());
    EXPECT_TRUE(sim::files::Exists(kPlaced)) << "the product file stays after the run";
}

TEST_F(ProductRun, TheStartUpWindowsAreGoneBeforeTheEngineStarts) {
    PutEmbeddedSetup();
    ScriptEngine(0);
    sim::RunEntry();
    int engine = sim::FindTrace("ShellExecuteExA");
    ASSERT_GE(engine, 0);
    int destroyed = sim::FindTrace("DestroyWindow");
    EXPECT_GE(destroyed, 0);
    EXPECT_LT(destroyed, engine);
    EXPECT_GE(sim::shell::Starts()[0].atMs, 3000u) << "the splash was shown for its full time";
}

TEST_F(ProductRun, TheEnginesFailureIsTheSetupsExitCode) {
    PutEmbeddedSetup();
    ScriptEngine(1603);
    EXPECT_EQ(sim::RunEntry(), 1603u);
}

TEST_F(ProductRun, TheUsersSwitchesReachTheEngine) {
    PutEmbeddedSetup();
    sim::SetCommandLine("\"C:\\Setup\\setup.exe\" /qb");
    ScriptEngine(0);
    sim::RunEntry();
    ASSERT_EQ(sim::shell::Starts().size(), 1u);
    EXPECT_EQ(sim::shell::Starts()[0].parameters.rfind("/qb \"", 0), 0u)
        << sim::shell::Starts()[0].parameters;
}

TEST_F(ProductRun, AResumeValueFromAnEarlierRestartIsRemovedAtStartUp) {
    PutEmbeddedSetup();
    ScriptEngine(0);
    sim::registry::SetText(RUN_KEY, RESUME_VALUE_NAME, "\"C:\\Setup\\setup.exe\" /qb");
    sim::RunEntry();
    EXPECT_FALSE(sim::registry::GetValue(RUN_KEY, RESUME_VALUE_NAME));
}

TEST_F(ProductRun, ADamagedProductEndsWithTheCrcTextAndOne) {
    PutEmbeddedSetup(std::string(kDatabase) + pe_builder::Dword(0));
    ScriptEngine(0);
    EXPECT_EQ(sim::RunEntry(), 1u);
    EXPECT_TRUE(sim::shell::Starts().empty());
    EXPECT_FALSE(sim::files::Exists(kPlaced));
    ASSERT_EQ(sim::MessageBoxes().size(), 1u);
    EXPECT_EQ(sim::MessageBoxes()[0].text,
              "Corrupt installation detected, check source media or re-download.");
}

TEST_F(ProductRun, ACancelDuringAnEmbeddedRunEndsWithOneAndNoEngine) {
    PutEmbeddedSetup();
    ScriptEngine(0);
    // The user closes the splash before the product has been written.
    sim::SendFromOutside(sim::BeforePeek(1), SPLASH_CLASS_NAME, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(sim::RunEntry(), 1u);
    EXPECT_TRUE(sim::shell::Starts().empty());
    EXPECT_FALSE(sim::files::Exists(kPlaced));
}

class SideFileRun : public ProductRun {
protected:
    void SetUp() override {
        ProductRun::SetUp();
        PutSideFileSetup();
    }

    static void PutSideFileSetup() {
        sim::files::Put("D:\\setup\\setup.exe", pe_builder::BuildSideFileStub().bytes);
        sim::files::Put("D:\\setup\\setup.ini",
                        std::string("[VeskInstaller]\r\nProductName=Example\r\nProductCode=") +
                            kCode + "\r\nProductVersion=1.0.0\r\nProductFile=product.msi\r\n");
        sim::SetModulePath("D:\\setup\\setup.exe");
        sim::SetCommandLine("D:\\setup\\setup.exe");
        sim::shell::Script(kEngine, sim::shell::Program{});
    }
};

TEST_F(SideFileRun, TheEngineRunsOnTheFileBesideTheSetup) {
    EXPECT_EQ(sim::RunEntry(), 0u);
    ASSERT_EQ(sim::shell::Starts().size(), 1u);
    EXPECT_EQ(sim::shell::Starts()[0].parameters,
              "/I \"D:\\setup\\product.msi\" VESK_SETUP_EXE_PATH=\"D:\\setup\\setup.exe\"");
    EXPECT_EQ(sim::shell::Starts()[0].directory, "D:\\setup");
}

TEST_F(SideFileRun, ACancelDoesNotStopTheLaunch) {
    sim::SendFromOutside(sim::BeforePeek(1), SPLASH_CLASS_NAME, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(sim::RunEntry(), 0u);
    EXPECT_TRUE(g_run.cancelRequested) << "the user did cancel";
    EXPECT_EQ(sim::shell::Starts().size(), 1u);
}

}  // namespace

// The installer engine's command line and the engine's launch.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "container_fixture.h"
#include "driver/run_state.h"
#include "pe_builder.h"
#include "product/product.h"
#include "runtime/installer.h"
#include "sim/files.h"
#include "sim/msgbox.h"
#include "sim/os.h"
#include "sim/registry.h"
#include "sim/shell.h"
#include "sim/sim.h"
#include "sim/windows.h"

namespace {

const char* const kProduct = "C:\\Program Files\\Common Files\\Vesk Installation Wizard\\setup.MSI";
const char* const kEngine = "C:\\WINDOWS\\SYSTEM32\\msiexec.exe";
const char* const kSetup = "C:\\Downloads\\setup.exe";

class EngineCommand : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        sim::SetModulePath(kSetup);
        sim::os::SetEnvironment("TEMP", "C:\\Temp");
        g_run.embedded = FALSE;
        std::strcpy(g_run.iniPath, "C:\\Downloads\\setup.ini");
        std::strcpy(g_settings.productCode, "{12345678-9ABC-DEF0-1234-56789ABCDEF0}");
    }

    static void ConfigureInSideFile(const std::string& commandText) {
        sim::files::Put("C:\\Downloads\\setup.ini", "[VeskInstaller]\r\nCmdLine=" + commandText + "\r\n");
    }

    // Embedded mode: the configured text is text 4 of the container.
    static void ConfigureInContainer(const std::string& commandText) {
        g_run.embedded = TRUE;
        container_fixture::OpenContainer(std::string(100, 'h') + pe_builder::Stored(commandText));
        g_run.textTableOffset = 100;
        g_run.textLengths[4] = BYTE(commandText.size() + 1);
    }

    static std::string Composed(const std::string& tail) {
        static char command[ENGINE_COMMAND_BUFFER];
        EXPECT_TRUE(ComposeEngineCommand(tail.c_str(), kProduct, command, sizeof command))
            << "the command fits";
        return command;
    }

    static std::string Quoted(const std::string& text) { return "\"" + text + "\""; }
};

TEST_F(EngineCommand, WithNoTailAndNoConfiguredTextTheSwitchIsInstall) {
    EXPECT_EQ(Composed(""), "/I " + Quoted(kProduct));
}

TEST_F(EngineCommand, ASwitchTailTakesThePlaceOfInstall) {
    EXPECT_EQ(Composed("/qb"), "/qb " + Quoted(kProduct));
}

TEST_F(EngineCommand, APropertyTailIsKeptWhole) {
    EXPECT_EQ(Composed("ALLUSERS=1"), "ALLUSERS=1 " + Quoted(kProduct));
}

TEST_F(EngineCommand, TheUsersTailHasItsEnvironmentExpanded) {
    EXPECT_EQ(Composed("/qb LOG=%TEMP%\\log %UNDEFINED%"),
              "/qb LOG=C:\\Temp\\log %UNDEFINED% " + Quoted(kProduct))
        << "undefined references stay as written";
}

TEST_F(EngineCommand, AVerbatimTailIsTheWholeCommandExpanded) {
    EXPECT_EQ(Composed("/* /i %TEMP%\\x.msi /qn"), "/i C:\\Temp\\x.msi /qn");
}

TEST_F(EngineCommand, AVerbatimTailAloneIsAnEmptyCommand) {
    EXPECT_EQ(Composed("/*"), "");
}

TEST_F(EngineCommand, TheConfiguredTextIsUsedAsWrittenWhenTheTailIsEmpty) {
    ConfigureInSideFile("/i /qb %TEMP%");
    EXPECT_EQ(Composed(""), "/i /qb %TEMP% " + Quoted(kProduct));
}

TEST_F(EngineCommand, TheTailWinsOverTheConfiguredText) {
    ConfigureInSideFile("/i /qn");
    EXPECT_EQ(Composed("/qb"), "/qb " + Quoted(kProduct));
}

TEST_F(EngineCommand, AVerbatimConfiguredTextIsExpandedIntoTheWholeCommand) {
    ConfigureInSideFile("/*  /i %TEMP%\\y.msi");
    EXPECT_EQ(Composed(""), "/i C:\\Temp\\y.msi");
}

TEST_F(EngineCommand, EmbeddedModeReadsTheConfiguredTextFromTheContainer) {
    ConfigureInContainer("/i /qb");
    EXPECT_EQ(Composed(""), "/i /qb " + Quoted(kProduct));
    EXPECT_EQ(container_fixture::Position(), 0) << "the container's cursor is where it was";
}

TEST_F(EngineCommand, ATransformAppliesToItsBaseDatabase) {
    std::strcpy(g_settings.transformBase, "D:\\base.msi");
    EXPECT_EQ(Composed(""), "/I \"D:\\base.msi\" TRANSFORMS=" + Quoted(kProduct));
}

TEST_F(EngineCommand, AVerbatimCommandGetsNoTransform) {
    std::strcpy(g_settings.transformBase, "D:\\base.msi");
    EXPECT_EQ(Composed("/* /i x.msi"), "/i x.msi");
}

TEST_F(EngineCommand, ATailThatDoesNotFitIsRefusedNotCut) {
    static char command[ENGINE_COMMAND_BUFFER];
    std::string tail = "/qb PROP=" + std::string(ENGINE_COMMAND_BUFFER, 'x');
    EXPECT_FALSE(ComposeEngineCommand(tail.c_str(), kProduct, command, sizeof command));
    std::string nearlyFull = "/qb PROP=" + std::string(ENGINE_COMMAND_BUFFER - 20, 'x');
    EXPECT_FALSE(ComposeEngineCommand(nearlyFull.c_str(), kProduct, command, sizeof command))
        << "the tail fits, the quoted path after it does not";
}

TEST_F(EngineCommand, AConfiguredTextTooLongForItsBufferIsRefusedNotCut) {
    ConfigureInSideFile("/i PROP=" + std::string(ENGINE_COMMAND_BUFFER, 'x'));
    static char command[ENGINE_COMMAND_BUFFER];
    EXPECT_FALSE(ComposeEngineCommand("", kProduct, command, sizeof command));
}

TEST_F(EngineCommand, AConfiguredTextLongerThanAPathIsKeptWhole) {
    std::string text = "/i PROP=" + std::string(400, 'x');
    ConfigureInSideFile(text);
    EXPECT_EQ(Composed(""), text + " " + Quoted(kProduct));
}

class EngineLaunch : public EngineCommand {
protected:
    void SetUp() override {
        EngineCommand::SetUp();
        g_run.commandTail = "";
    }

    static void ScriptEngine(uint32_t exitCode, uint64_t runMs = 100) {
        sim::shell::Program engine;
        engine.exitCode = exitCode;
        engine.runMs = runMs;
        sim::shell::Script(kEngine, engine);
    }

    // Runs the launch; the run's exit code, whether it returned or ended.
    static unsigned Launch() {
        unsigned code = 0;
        sim::RunUntilExit([&] { code = LaunchEngine(kProduct); }, &code);
        return code;
    }
};

TEST_F(EngineLaunch, StartsTheEngineFromTheSystemDirectoryWithTheSetupsPath) {
    ScriptEngine(0);
    EXPECT_EQ(Launch(), 0u);
    ASSERT_EQ(sim::shell::Starts().size(), 1u);
    EXPECT_EQ(sim::shell::Starts()[0].file, kEngine) << "never a bare name the shell searches for";
    EXPECT_EQ(sim::shell::Starts()[0].parameters,
              "/I " + Quoted(kProduct) + " VESK_SETUP_EXE_PATH=" + Quoted(kSetup));
}

TEST_F(EngineLaunch, ATransformCommandCarriesBothProperties) {
    std::strcpy(g_settings.transformBase, "D:\\base.msi");
    ScriptEngine(0);
    Launch();
    ASSERT_EQ(sim::shell::Starts().size(), 1u);
    EXPECT_EQ(sim::shell::Starts()[0].parameters,
              "/I \"D:\\base.msi\" TRANSFORMS=" + Quoted(kProduct) +
                  " VESK_SETUP_EXE_PATH=" + Quoted(kSetup));
}

TEST_F(EngineLaunch, AVerbatimCommandStillCarriesTheSetupsPath) {
    g_run.commandTail = "/* /i %TEMP%\\x.msi /qn";
    ScriptEngine(0);
    Launch();
    ASSERT_EQ(sim::shell::Starts().size(), 1u);
    EXPECT_EQ(sim::shell::Starts()[0].parameters,
              "/i C:\\Temp\\x.msi /qn VESK_SETUP_EXE_PATH=" + Quoted(kSetup));
}

TEST_F(EngineLaunch, TheEnginesExitCodeBecomesTheRunsExitCode) {
    ScriptEngine(1603);
    EXPECT_EQ(Launch(), 1603u) << "a failed installation is not reported as success";
}

TEST_F(EngineLaunch, AnEmptyCommandStartsNoEngine) {
    g_run.commandTail = "/*";
    ScriptEngine(1603);
    EXPECT_EQ(Launch(), 0u);
    EXPECT_TRUE(sim::shell::Starts().empty());
}

TEST_F(EngineLaunch, AnEndingSessionStartsNoEngine) {
    g_run.sessionEnding = TRUE;
    ScriptEngine(1603);
    EXPECT_EQ(Launch(), 0u);
    EXPECT_TRUE(sim::shell::Starts().empty());
}

TEST_F(EngineLaunch, AnEngineThatCannotBeStartedEndsWithZero) {
    EXPECT_EQ(Launch(), 0u);
    EXPECT_EQ(sim::shell::Starts().size(), 1u);
    EXPECT_TRUE(sim::MessageBoxes().empty());
}

TEST_F(EngineLaunch, AWaitAbandonedForTheEndOfTheSessionEndsWithZero) {
    sim::shell::Program engine;
    engine.runMs = sim::shell::kForever;
    // Windows ends the session while the engine runs; the run's windows
    // are gone by then, so the flag stands for what they would have noted.
    engine.onStart = [] { g_run.sessionEnding = TRUE; };
    sim::shell::Script(kEngine, engine);
    EXPECT_EQ(Launch(), 0u) << "not the still-active code";
    EXPECT_TRUE(sim::registry::GetValue(RUN_KEY, RESUME_VALUE_NAME)) << "the setup resumes";
}

TEST_F(EngineLaunch, AnOverLongTailIsRefusedWithTheCorruptBoxAndOne) {
    std::string tail = "/qb PROP=" + std::string(ENGINE_COMMAND_BUFFER, 'x');
    g_run.commandTail = tail.c_str();
    ScriptEngine(0);
    EXPECT_EQ(Launch(), 1u);
    EXPECT_TRUE(sim::shell::Starts().empty());
    ASSERT_EQ(sim::MessageBoxes().size(), 1u);
    EXPECT_EQ(sim::MessageBoxes()[0].text, "Corrupt installation detected.");
    EXPECT_EQ(sim::MessageBoxes()[0].caption, "Install");
}

TEST_F(EngineLaunch, AnOverLongTailWhileTheSessionEndsEndsQuietlyWithZero) {
    std::string tail = "/qb PROP=" + std::string(ENGINE_COMMAND_BUFFER, 'x');
    g_run.commandTail = tail.c_str();
    g_run.sessionEnding = TRUE;
    ScriptEngine(0);
    EXPECT_EQ(Launch(), 0u) << "the end of the session, not a refused command";
    EXPECT_TRUE(sim::MessageBoxes().empty()) << "no box while Windows logs off";
    EXPECT_TRUE(sim::shell::Starts().empty());
}

TEST_F(EngineLaunch, ACommandWithNoRoomForTheSetupsPathIsRefused) {
    std::string tail = "/* " + std::string(ENGINE_COMMAND_BUFFER - 20, 'x');
    g_run.commandTail = tail.c_str();
    ScriptEngine(0);
    EXPECT_EQ(Launch(), 1u);
    EXPECT_TRUE(sim::shell::Starts().empty());
}

TEST_F(EngineLaunch, SideFileModeRunsTheEngineInTheProgramsFolder) {
    ScriptEngine(0);
    Launch();
    ASSERT_EQ(sim::shell::Starts().size(), 1u);
    EXPECT_EQ(sim::shell::Starts()[0].directory, "C:\\Downloads");
}

}  // namespace

// The installer engine's command line and the engine's launch.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "container/container.h"
#include "container_fixture.h"
#include "base/run_state.h"
#include "pe_builder.h"
#include "product/product.h"
#include "run_fixture.h"
#include "runtime/installer.h"
#include "sim/faults.h"
#include "sim/files.h"
#include "sim/os.h"
#include "sim/sim.h"

using namespace run_fixture;

namespace {

const char* const kProduct = "C:\\Program Files\\Common Files\\Vesk Installation Wizard\\setup.MSI";
const char* const kSetup = "C:\\Downloads\\setup.exe";
const std::string kQuotedProduct = std::string("\"") + kProduct + "\"";
const std::string kSetupProperty = " VESK_SETUP_EXE_PATH=\"C:\\Downloads\\setup.exe\"";
// More than any expansion of environment references gives.
const std::string kTooLong(ENGINE_SWITCH_BUFFER, 'x');

class EngineCommand : public ::testing::Test {
protected:
    void SetUp() override { StartOver(); }

    // A fresh machine: every test begins with it, and each case of a table.
    virtual void StartOver() {
        sim::Reset();
        sim::SetModulePath(kSetup);
        sim::os::SetEnvironment("TEMP", "C:\\Temp");
        g_run.embedded = FALSE;
        g_run.commandTail = "";
        std::strcpy(g_run.ownPath, kSetup);
        std::strcpy(g_run.ownDirectory, "C:\\Downloads\\");
        std::strcpy(g_run.iniPath, "C:\\Downloads\\setup.ini");
        std::strcpy(g_settings.productCode, "{12345678-9ABC-DEF0-1234-56789ABCDEF0}");
    }

    static void ConfigureInSideFile(const std::string& commandText) {
        sim::files::Put("C:\\Downloads\\setup.ini", "[VeskInstaller]\r\nCmdLine=" + commandText + "\r\n");
    }

    static bool Compose(const std::string& tail, std::string* command = nullptr) {
        static char switches[ENGINE_SWITCH_BUFFER];
        static char buffer[ENGINE_COMMAND_BUFFER];
        BOOL fits = ComposeEngineCommand(tail.c_str(), kProduct, switches, buffer);
        if (command) *command = buffer;
        return fits;
    }

    // Runs the launch; the run's exit code, whether it returned or ended.
    static unsigned Launch() {
        unsigned code = 0;
        sim::RunUntilExit([&] { code = LaunchEngine(kProduct); }, &code);
        return code;
    }
};

TEST_F(EngineCommand, ComposedFromTheTailTheConfiguredTextAndTheTransform) {
    const std::string longText = "/i PROP=" + std::string(400, 'x');
    const struct {
        const char* name;
        std::string tail;
        std::optional<std::string> configured;
        const char* transformBase;
        std::string expected;
    } cases[] = {
        {"no tail, nothing configured", "", std::nullopt, "", "/I " + kQuotedProduct},
        {"a switch takes the place of install", "/qb", std::nullopt, "", "/qb " + kQuotedProduct},
        {"a property tail is kept whole", "ALLUSERS=1", std::nullopt, "", "ALLUSERS=1 " + kQuotedProduct},
        {"the tail is expanded, undefined references stay", "/qb LOG=%TEMP%\\log %UNDEFINED%", std::nullopt,
         "", "/qb LOG=C:\\Temp\\log %UNDEFINED% " + kQuotedProduct},
        {"a verbatim tail is the whole command", "/* /i %TEMP%\\x.msi /qn", std::nullopt, "",
         "/i C:\\Temp\\x.msi /qn"},
        {"a verbatim tail alone is empty", "/*", std::nullopt, "", ""},
        {"configured text used as written", "", "/i /qb %TEMP%", "", "/i /qb %TEMP% " + kQuotedProduct},
        {"the tail wins over the configured text", "/qb", "/i /qn", "", "/qb " + kQuotedProduct},
        {"verbatim configured text", "", "/*  /i %TEMP%\\y.msi", "", "/i C:\\Temp\\y.msi"},
        {"configured text longer than a path is kept whole", "", longText, "", longText + " " + kQuotedProduct},
        {"a transform applies to its base", "", std::nullopt, "D:\\base.msi",
         "/I \"D:\\base.msi\" TRANSFORMS=" + kQuotedProduct},
        {"a relative base is named from the setup's folder, not the engine's", "", std::nullopt, "..\\base.msi",
         "/I \"C:\\Downloads\\..\\base.msi\" TRANSFORMS=" + kQuotedProduct},
        {"a network base is a full path", "", std::nullopt, "\\\\server\\base.msi",
         "/I \"\\\\server\\base.msi\" TRANSFORMS=" + kQuotedProduct},
        {"a verbatim command gets no transform", "/* /i x.msi", std::nullopt, "D:\\base.msi", "/i x.msi"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        if (c.configured) ConfigureInSideFile(*c.configured);
        std::strcpy(g_settings.transformBase, c.transformBase);
        std::string command;
        EXPECT_TRUE(Compose(c.tail, &command)) << "the command fits";
        EXPECT_EQ(c.expected, command);
    }
}

TEST_F(EngineCommand, EmbeddedModeReadsTheConfiguredTextFromTheContainer) {
    // The configured text is text 4 of the container.
    pe_builder::Container container;
    container.texts[0] = pe_builder::Stored("/i /qb");
    container_fixture::OpenContainer(pe_builder::BuildSetup(container).bytes);
    ASSERT_TRUE(FindPayloadSection() && g_run.embedded && ReadContainerHeader());
    const LONG cursor = container_fixture::Position();
    std::string command;
    EXPECT_TRUE(Compose("", &command));
    EXPECT_EQ("/i /qb " + kQuotedProduct, command);
    EXPECT_EQ(cursor, container_fixture::Position()) << "the container's cursor is where it was";
}

TEST_F(EngineCommand, ACommandThatDoesNotFitIsRefusedNotCut) {
    const struct {
        const char* name;
        std::string tail, configured;
    } cases[] = {
        {"the tail's expansion is too long", "/qb PROP=" + kTooLong, ""},
        {"the configured text is too long", "", "/i PROP=" + kTooLong},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        ConfigureInSideFile(c.configured);
        EXPECT_FALSE(Compose(c.tail));
    }
}

TEST_F(EngineCommand, TheLaunchStartsTheEngineFromTheSystemDirectoryWithTheSetupsPath) {
    const struct {
        const char* tail;
        const char* transformBase;
        std::string parameters;
    } cases[] = {
        {"", "", "/I " + kQuotedProduct + kSetupProperty},
        {"", "D:\\base.msi", "/I \"D:\\base.msi\" TRANSFORMS=" + kQuotedProduct + kSetupProperty},
        {"/* /i %TEMP%\\x.msi /qn", "", "/i C:\\Temp\\x.msi /qn" + kSetupProperty},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.parameters);
        StartOver();
        g_run.commandTail = c.tail;
        std::strcpy(g_settings.transformBase, c.transformBase);
        ScriptEngine(0);
        EXPECT_EQ(0u, Launch());
        ASSERT_EQ(1u, sim::shell::Starts().size());
        EXPECT_EQ(kEngine, sim::shell::Starts()[0].file) << "never a bare name the shell searches for";
        EXPECT_EQ(c.parameters, sim::shell::Starts()[0].parameters);
        EXPECT_EQ("C:\\Downloads", sim::shell::Starts()[0].directory) << "side-file mode: the program's folder";
    }
    StartOver();
    g_run.embedded = TRUE;
    g_run.commandTail = "/qb";
    ScriptEngine(0);
    EXPECT_EQ(0u, Launch());
    ASSERT_EQ(1u, sim::shell::Starts().size());
    EXPECT_EQ("C:\\WINDOWS\\SYSTEM32", sim::shell::Starts()[0].directory) << "embedded mode: the system folder";
}

TEST_F(EngineCommand, AnEmptyCommandOrAnEndingSessionStartsNoEngine) {
    for (bool sessionEnding : {false, true}) {
        SCOPED_TRACE(sessionEnding ? "session ending" : "command /*");
        StartOver();
        g_run.commandTail = sessionEnding ? "" : "/*";
        g_run.sessionEnding = sessionEnding;
        ScriptEngine(1603);
        EXPECT_EQ(0u, Launch());
        EXPECT_TRUE(sim::shell::Starts().empty());
    }
}

TEST_F(EngineCommand, AnEngineThatDidNotRunOrWhoseEndWasNotSeenIsNoSuccess) {
    EXPECT_EQ(1u, Launch()) << "the engine cannot be started";
    EXPECT_EQ(1u, sim::shell::Starts().size());
    EXPECT_TRUE(sim::MessageBoxes().empty());
    for (const char* call : {"WaitForSingleObject", "GetExitCodeProcess"}) {
        SCOPED_TRACE(call);
        StartOver();
        ScriptEngine(0, 2000);
        sim::faults::FailNthCallOf(call, 1);
        EXPECT_EQ(1u, Launch()) << "the engine's result is not known";
        EXPECT_TRUE(sim::MessageBoxes().empty());
    }
}

TEST_F(EngineCommand, AWaitAbandonedForTheEndOfTheSessionEndsWithZero) {
    // Windows ends the session while the engine runs; the run's windows are
    // gone by then, so the flag stands for what they would have noted.
    ScriptEngine(0, sim::shell::kForever, [] { g_run.sessionEnding = TRUE; });
    EXPECT_EQ(0u, Launch()) << "not the still-active code";
    EXPECT_TRUE(sim::registry::GetValue(kRunKey, kResumeValue)) << "the setup resumes";
}

TEST_F(EngineCommand, TheLongestTailWindowsPassesReachesTheEngineWhole) {
    // 32,767 characters of command line, less the quoted program part.
    const std::string tail = "/qb PROP=" + std::string(32767 - 27 - 9, 'x');
    for (const char* verbatim : {"", "/* "}) {
        SCOPED_TRACE(*verbatim ? "verbatim" : "switches");
        StartOver();
        const std::string line = verbatim + tail;
        g_run.commandTail = line.c_str();
        ScriptEngine(0);
        EXPECT_EQ(0u, Launch());
        ASSERT_EQ(1u, sim::shell::Starts().size());
        const std::string expected = *verbatim ? tail + kSetupProperty : tail + " " + kQuotedProduct + kSetupProperty;
        EXPECT_EQ(expected, sim::shell::Starts()[0].parameters);
        EXPECT_TRUE(sim::MessageBoxes().empty());
    }
}

TEST_F(EngineCommand, AnExpansionBeyondThePlatformsLimitIsRefusedWithTheCorruptBoxAndOne) {
    sim::os::SetEnvironment("HALF", std::string(ENGINE_SWITCH_BUFFER / 2, 'x'));
    g_run.commandTail = "/qb A=%HALF% B=%HALF%";
    ScriptEngine(0);
    EXPECT_EQ(1u, Launch());
    EXPECT_TRUE(sim::shell::Starts().empty());
    ExpectOnlyBox(kCorruptText);
}

TEST_F(EngineCommand, AnOverLongTailWhileTheSessionEndsEndsQuietlyWithZero) {
    const std::string tail = "/qb PROP=" + kTooLong;
    g_run.commandTail = tail.c_str();
    g_run.sessionEnding = TRUE;
    ScriptEngine(0);
    EXPECT_EQ(0u, Launch()) << "the end of the session, not a refused command";
    EXPECT_TRUE(sim::MessageBoxes().empty()) << "no box while Windows logs off";
    EXPECT_TRUE(sim::shell::Starts().empty());
}

}  // namespace

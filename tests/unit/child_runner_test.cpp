// Starting a child program through the shell and waiting for it.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "runtime/child.h"
#include "base/run_state.h"
#include "runtime/installer.h"
#include "base/resume_entry.h"
#include "runtime/runtime.h"
#include "run_fixture.h"
#include "sim/faults.h"
#include "sim/registry.h"
#include "sim/shell.h"
#include "sim/sim.h"
#include "sim/windows.h"
#include "ui/ui.h"

using run_fixture::Running;

using namespace run_fixture;

namespace {

const char* const kProgram = "C:\\Temp\\ZRP1.exe";
const char* const kFolder = "C:\\Temp\\ZRP1.tmp";
const char* const kCode = "{12345678-9ABC-DEF0-1234-56789ABCDEF0}";

// Stands in for the splash window, handing it the end of the session.
LRESULT CALLBACK SessionWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ENDSESSION) return MainWndProc(window, message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

class ChildRunner : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        g_run.embedded = TRUE;
    }

    static void OpenSessionWindow() {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = SessionWindowProc;
        windowClass.lpszClassName = "SessionTest";
        ASSERT_NE(RegisterClassA(&windowClass), 0);
        ASSERT_NE(CreateWindowExA(0, "SessionTest", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  nullptr, nullptr),
                  nullptr);
    }
};

TEST_F(ChildRunner, StartsTheProgramAsTheShellExpects) {
    sim::shell::Script(kProgram, Running(0));
    RunAndWait(kProgram, "/q /r:n", kFolder, TRUE, kCode, 0);
    ASSERT_EQ(sim::shell::Starts().size(), 1u);
    const sim::shell::Start& start = sim::shell::Starts()[0];
    EXPECT_EQ(start.cbSize, sizeof(SHELLEXECUTEINFOA));
    EXPECT_EQ(start.mask, uint32_t(SEE_MASK_NOCLOSEPROCESS));
    EXPECT_FALSE(start.hasOwner);
    EXPECT_FALSE(start.hasVerb) << "the shell's default action";
    EXPECT_EQ(start.file, kProgram);
    EXPECT_EQ(start.parameters, "/q /r:n");
    EXPECT_EQ(start.show, SW_SHOWNORMAL);
    EXPECT_TRUE(start.hasDirectory) << "embedded mode: never the current folder inherited";
    EXPECT_EQ(start.directory, kFolder);
}

TEST_F(ChildRunner, SideFileModeRunsTheChildInTheProgramsOwnFolder) {
    g_run.embedded = FALSE;
    const struct {
        const char* modulePath;
        const char* folder;
    } cases[] = {
        {"D:\\setup\\setup.exe", "D:\\setup"},
        {"setup.exe", "setup.exe"},
        {"\\setup.exe", ""},
    };
    for (const auto& c : cases) {
        std::strcpy(g_run.ownPath, c.modulePath);
        sim::shell::Script(kProgram, Running(0));
        RunAndWait(kProgram, "", kFolder, TRUE, kCode, 0);
        const sim::shell::Start& start = sim::shell::Starts().back();
        EXPECT_TRUE(start.hasDirectory) << c.modulePath;
        EXPECT_EQ(start.directory, c.folder) << c.modulePath;
    }
}

TEST_F(ChildRunner, AChildRunningOnePointTwoSecondsIsPolledThreeTimes) {
    sim::shell::Script(kProgram, Running(1200, 3010));
    EXPECT_EQ(RunAndWait(kProgram, "", kFolder, TRUE, kCode, 0), 3010u) << "the exit code of a child that ran to its end";
    EXPECT_EQ(sim::shell::WaitCalls(), 3);
    for (uint32_t timeout : sim::shell::WaitTimeouts()) EXPECT_EQ(timeout, 500u);
    EXPECT_GE(sim::Now(), 1200u);
    EXPECT_LT(sim::Now(), 1300u) << "the wait ends with the child, not at the next poll";
    // Once after the start, after each of the two time-outs, and at the end.
    EXPECT_EQ(sim::PeekMessageCalls(), 4) << "messages are dispatched between polls";
    EXPECT_TRUE(sim::shell::Starts()[0].handleClosed) << "the handle is closed after the code is read";
    EXPECT_EQ(sim::shell::RunningChildren(), 0);
}

TEST_F(ChildRunner, AChildWhoseCodeIsNotKnownGivesTheCallersCodeAndNoWaitMeansStillActive) {
    constexpr DWORD kUnknown = 1;
    EXPECT_EQ(RunAndWait("C:\\nowhere\\missing.exe", "", kFolder, TRUE, kCode, kUnknown), kUnknown) << "a missing file";
    sim::shell::Program program = Running(0, 7);
    program.startFails = true;
    sim::shell::Script(kProgram, program);
    EXPECT_EQ(RunAndWait(kProgram, "", kFolder, TRUE, kCode, 0), 0u) << "a start the shell refuses";
    EXPECT_EQ(sim::shell::WaitCalls(), 0);
    EXPECT_EQ(sim::PeekMessageCalls(), 0);
    sim::shell::Script(kProgram, Running(100, 0));
    sim::faults::FailNthCallOf("GetExitCodeProcess", 1);
    EXPECT_EQ(RunAndWait(kProgram, "", kFolder, TRUE, kCode, kUnknown), kUnknown) << "an exit code that cannot be read";
    EXPECT_TRUE(sim::shell::Starts().back().handleClosed);
    sim::shell::Script(kProgram, Running(1200));
    EXPECT_EQ(RunAndWait(kProgram, "", kFolder, FALSE, kCode, 0), DWORD(STILL_ACTIVE)) << "not waiting for a running child";
    EXPECT_EQ(sim::shell::WaitCalls(), 1);
}

TEST_F(ChildRunner, TheSessionEndingDuringTheWaitRegistersTheResumeOnceAndReturns259) {
    sim::SetCommandLine("\"C:\\Setup\\setup.exe\" /qb");
    std::strcpy(g_run.ownPath, "C:\\Setup\\setup.exe");
    OpenSessionWindow();
    sim::shell::Script(kProgram, Running(sim::shell::kForever));
    sim::EndSession(sim::At(700));
    EXPECT_EQ(RunAndWait(kProgram, "", kFolder, TRUE, kCode, 0), DWORD(STILL_ACTIVE));
    EXPECT_EQ(sim::registry::GetText(kRunKey, kResumeValue), "\"C:\\Setup\\setup.exe\" /qb");
    int writes = 0;
    for (const std::string& line : sim::Trace())
        if (line.rfind("RegSetValueExA", 0) == 0) ++writes;
    EXPECT_EQ(writes, 1) << "the resume value is written once";
    EXPECT_LT(sim::FindTrace("RegSetValueExA"), sim::FindTrace("session ended"))
        << "written while the window handles the session's end, before Windows may end the process";
    EXPECT_EQ(sim::shell::RunningChildren(), 1) << "the child is never terminated";
    EXPECT_TRUE(sim::shell::Starts()[0].handleClosed);
}

// Windows starts Run entries from its own folder: whatever the command line's
// program part, the value names the executable by its quoted full path, and
// the arguments follow as given. One that would not fit is not written.
TEST_F(ChildRunner, TheResumeCommandNamesTheProgramByItsQuotedFullPath) {
    const std::string longTail(1000, 'x');
    const struct {
        const char* commandLine;
        std::optional<std::string> resume;
    } cases[] = {
        {"setup.exe /qb", "\"C:\\My Setup\\setup.exe\" /qb"},
        {"\"setup.exe\"  ALLUSERS=1", "\"C:\\My Setup\\setup.exe\"  ALLUSERS=1"},
        {"..\\setup.exe", "\"C:\\My Setup\\setup.exe\""},
        {"C:setup.exe /qb", "\"C:\\My Setup\\setup.exe\" /qb"},
        {"C:\\My Setup\\setup.exe /qb", "\"C:\\My Setup\\setup.exe\" Setup\\setup.exe /qb"},
        {"\"c:\\my setup\\setup.exe\" /qb", "\"C:\\My Setup\\setup.exe\" /qb"},
        {"\\\\server\\share\\setup.exe /qb", "\"C:\\My Setup\\setup.exe\" /qb"},
        {"\"C:\\My Setup\\setup.exe\"", "\"C:\\My Setup\\setup.exe\""},
        {"setup.exe hello", "\"C:\\My Setup\\setup.exe\" hello"},
        {nullptr, std::nullopt},
    };
    for (const auto& c : cases) {
        std::string line = c.commandLine ? c.commandLine : "setup.exe /qb " + longTail;
        SCOPED_TRACE(line.substr(0, 40));
        sim::Reset();
        std::strcpy(g_run.ownPath, "C:\\My Setup\\setup.exe");
        sim::SetCommandLine(line);
        RegisterResume(kCode);
        auto value = sim::registry::GetValue(kRunKey, kResumeValue);
        EXPECT_EQ(c.resume.has_value(), value.has_value());
        if (c.resume && value) {
            EXPECT_EQ(*c.resume + '\0', value->data);
        }
    }
}

}  // namespace

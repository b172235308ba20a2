// Restart and resume: the restart question, the Run value that brings the
// setup back after a restart, and its removal by the next run.
#include <cstring>

#include "base/run_state.h"
#include "runtime/installer.h"
#include "base/resume_entry.h"
#include "runtime/runtime.h"
#include "machine.h"
#include "sim/faults.h"
#include "sim/msgbox.h"
#include "sim/registry.h"
#include "sim/session.h"
#include "sim/sim.h"
#include "sim/windows.h"
#include "ui_fixture.h"

using namespace run_fixture;

namespace {

const char* const kCode = "{12345678-9ABC-DEF0-1234-56789ABCDEF0}";
const char* const kPacked = "87654321CBA90FED21436587A9CBED0F";
const char* const kCommandLine = "\"C:\\Downloads\\setup.exe\" /qb";

class Resume : public UiTest {
protected:
    void StartOver() override {
        UiTest::StartOver();
        sim::SetCommandLine(kCommandLine);
        std::strcpy(g_run.ownPath, "C:\\Downloads\\setup.exe");
        std::strcpy(g_settings.productCode, kCode);
        std::strcpy(g_run.iniPath, "C:\\Downloads\\setup.ini");  // absent: built-in texts
    }

    // Runs the restart question with the given answer; returns the exit code.
    unsigned AnswerRestart(int answer) {
        sim::AnswerNextBox(answer);
        unsigned code = 99;
        EXPECT_TRUE(sim::RunUntilExit([] { RestartQuestion(); }, &code))
            << "the restart question always ends the process";
        return code;
    }

    static std::string ResumeValue() { return sim::registry::GetText(kRunKey, kResumeValue); }
    static bool HasResumeValue() {
        return sim::registry::GetValue(kRunKey, kResumeValue).has_value();
    }
};

TEST_F(Resume, TheQuestionShowsTheRebootTextAndNoEndsWithZeroWritingNothing) {
    EXPECT_EQ(AnswerRestart(IDNO), 0u);
    ASSERT_EQ(sim::MessageBoxes().size(), 1u);
    const sim::MessageBoxShown& box = sim::MessageBoxes()[0];
    EXPECT_EQ(box.text,
              "This system must reboot before the installation can begin. After the reboot the "
              "installation will restart automatically. Do you want to reboot this system?");
    EXPECT_EQ(box.caption, kProductName);
    EXPECT_EQ(box.type, UINT(MB_YESNO));
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_FALSE(HasResumeValue());
    EXPECT_TRUE(sim::session::ExitRequests().empty()) << "no restart after No";
    EXPECT_FALSE(g_run.sessionEnding);
}

TEST_F(Resume, AnswerYesWritesTheWholeCommandLineAndRestarts) {
    EXPECT_EQ(AnswerRestart(IDYES), 0u);
    auto value = sim::registry::GetValue(kRunKey, kResumeValue);
    ASSERT_TRUE(value) << "the Run value is written";
    EXPECT_EQ(value->type, uint32_t(REG_SZ));
    EXPECT_EQ(value->data, std::string(kCommandLine) + '\0') << "the setup resumes with /qb";
    ASSERT_EQ(sim::session::ExitRequests().size(), 1u);
    EXPECT_EQ(sim::session::ExitRequests()[0].flags, uint32_t(EWX_REBOOT));
    EXPECT_EQ(sim::session::ExitRequests()[0].reason, 0u);
    EXPECT_TRUE(sim::session::ExitRequests()[0].shutdownPrivilegeEnabled);
    EXPECT_TRUE(g_run.sessionEnding);
    EXPECT_GE(sim::FindTrace("OpenProcessToken 0x28"), 0);
    EXPECT_GE(sim::FindTrace("LookupPrivilegeValueA - SeShutdownPrivilege"), 0);
    EXPECT_GE(sim::FindTrace("AdjustTokenPrivileges disableAll=0 count=1 luid=19 attributes=2 previous=no"), 0);
    EXPECT_EQ(sim::session::OpenTokenCount(), 0) << "the token handle is closed";
}

TEST_F(Resume, TheSplashIsClosedAndAfterYesItsQuitMessageIsLeftAlone) {
    for (int answer : {IDYES, IDNO}) {
        SCOPED_TRACE(answer == IDYES ? "Yes" : "No");
        StartOver();
        ShowSplash();
        AnswerRestart(answer);
        EXPECT_FALSE(sim::FindWindowOfClass(SPLASH_CLASS_NAME)->alive) << "the splash is closed";
        EXPECT_EQ(answer == IDYES, sim::QuitPending()) << "after Yes nothing more is dispatched";
        if (answer == IDYES) {
            EXPECT_LT(sim::FindTrace("ExitWindowsEx"), sim::FindTrace("DestroyWindow"));
        }
    }
}

TEST_F(Resume, TheRestartIsAttemptedWhenTheTokenCannotBeOpened) {
    sim::faults::FailEveryCallOf("OpenProcessToken");
    EXPECT_EQ(AnswerRestart(IDYES), 0u);
    ASSERT_EQ(sim::session::ExitRequests().size(), 1u);
    EXPECT_FALSE(sim::session::ExitRequests()[0].shutdownPrivilegeEnabled);
    EXPECT_EQ(sim::FindTrace("LookupPrivilegeValueA"), -1);
    EXPECT_TRUE(g_run.sessionEnding);
}

TEST_F(Resume, AServiceResumeOfTwoBytesOrMoreMeansNoRunValueButStillARestart) {
    for (const char* data : {"ab", "a", ""}) {
        SCOPED_TRACE(std::to_string(std::strlen(data)) + " byte(s) of data");
        StartOver();
        sim::registry::SetValue(kRunOnceEntriesKey, kPacked, REG_SZ, data);
        EXPECT_EQ(AnswerRestart(IDYES), 0u);
        EXPECT_EQ(HasResumeValue(), std::strlen(data) < 2);
        EXPECT_EQ(sim::session::ExitRequests().size(), 1u) << "the restart is started";
    }
}

TEST_F(Resume, TheLookUpReadsTheServiceKeyAndClosesIt) {
    sim::registry::CreateKey(kRunOnceEntriesKey);
    RegisterResume(kCode);
    EXPECT_GE(sim::FindTrace(std::string("RegOpenKeyExA ") + kRunOnceEntriesKey + " 0x20019"), 0);
    EXPECT_GE(sim::FindTrace(std::string("RegQueryValueExA ") + kRunOnceEntriesKey + " [" + kPacked + "]"), 0);
    EXPECT_GE(sim::FindTrace(std::string("RegCreateKeyExA ") + kRunKey + " 0xF003F"), 0);
    EXPECT_EQ(sim::registry::OpenHandleCount(), 0) << "every key is closed";
}

TEST_F(Resume, TwoRegistrationsLeaveOneValue) {
    RegisterResume(kCode);
    RegisterResume(kCode);
    EXPECT_EQ(sim::registry::Values(kRunKey).size(), 1u);
    EXPECT_EQ(ResumeValue(), kCommandLine);
}

TEST_F(Resume, AnEmptyProductCodeAsksAboutTheUnnamedValue) {
    sim::registry::SetValue(kRunOnceEntriesKey, "", REG_SZ, "resume");
    RegisterResume("");
    EXPECT_GE(sim::FindTrace(std::string("RegQueryValueExA ") + kRunOnceEntriesKey + " []"), 0);
    EXPECT_FALSE(HasResumeValue()) << "the unnamed value holds more than one byte";
}

TEST_F(Resume, RegistryFailuresAreNotReported) {
    sim::registry::RefuseOpen(kRunOnceEntriesKey);
    sim::registry::RefuseCreate(kRunKey);
    EXPECT_EQ(AnswerRestart(IDYES), 0u);
    EXPECT_FALSE(HasResumeValue());
    EXPECT_EQ(sim::MessageBoxes().size(), 1u) << "only the question itself";
    EXPECT_EQ(sim::session::ExitRequests().size(), 1u);
}

TEST_F(Resume, StartUpRemovalDeletesTheValueWhicheverSetupWroteIt) {
    sim::registry::SetText(kRunKey, kResumeValue, "\"D:\\Other\\setup.exe\"");
    sim::registry::SetText(kRunKey, "Other", "other.exe");
    RemoveResumeEntry();
    EXPECT_FALSE(HasResumeValue());
    EXPECT_EQ(sim::registry::GetText(kRunKey, "Other"), "other.exe") << "other values stay";
    EXPECT_GE(sim::FindTrace(std::string("RegOpenKeyExA ") + kRunKey + " 0x2001B"), 0);
    EXPECT_EQ(sim::registry::OpenHandleCount(), 0);
}

TEST_F(Resume, StartUpRemovalIsSkippedForAnEmptyProductCode) {
    g_settings.productCode[0] = 0;
    sim::registry::SetText(kRunKey, kResumeValue, kCommandLine);
    RemoveResumeEntry();
    EXPECT_TRUE(HasResumeValue());
    EXPECT_EQ(sim::registry::OpenCount(kRunKey), 0) << "the Run key is not even opened";
}

TEST_F(Resume, StartUpRemovalWithoutARunKeyDoesNothing) {
    RemoveResumeEntry();
    EXPECT_FALSE(sim::registry::KeyExists(kRunKey)) << "nothing is created";
}

}  // namespace

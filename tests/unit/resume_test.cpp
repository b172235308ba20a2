// Restart and resume: the restart question, the Run value that brings the
// setup back after a restart, and its removal by the next run.
#include <cstring>

#include "driver/run_state.h"
#include "runtime/installer.h"
#include "runtime/runtime.h"
#include "sim/faults.h"
#include "sim/msgbox.h"
#include "sim/registry.h"
#include "sim/session.h"
#include "sim/sim.h"
#include "sim/windows.h"
#include "ui_fixture.h"

namespace {

const char* const kCode = "{12345678-9ABC-DEF0-1234-56789ABCDEF0}";
const char* const kPacked = "87654321CBA90FED21436587A9CBED0F";
const char* const kCommandLine = "\"C:\\Downloads\\setup.exe\" /qb";

class Resume : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        sim::SetCommandLine(kCommandLine);
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

    static std::string ResumeValue() { return sim::registry::GetText(RUN_KEY, RESUME_VALUE_NAME); }
    static bool HasResumeValue() {
        return sim::registry::GetValue(RUN_KEY, RESUME_VALUE_NAME).has_value();
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
    auto value = sim::registry::GetValue(RUN_KEY, RESUME_VALUE_NAME);
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
        SetUp();
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
        SetUp();
        sim::registry::SetValue(RUN_ONCE_ENTRIES_KEY, kPacked, REG_SZ, data);
        EXPECT_EQ(AnswerRestart(IDYES), 0u);
        EXPECT_EQ(HasResumeValue(), std::strlen(data) < 2);
        EXPECT_EQ(sim::session::ExitRequests().size(), 1u) << "the restart is started";
    }
}

TEST_F(Resume, TheLookUpReadsTheServiceKeyAndClosesIt) {
    sim::registry::CreateKey(RUN_ONCE_ENTRIES_KEY);
    RegisterResume(kCode);
    EXPECT_GE(sim::FindTrace(std::string("RegOpenKeyExA ") + RUN_ONCE_ENTRIES_KEY + " 0x20019"), 0);
    EXPECT_GE(sim::FindTrace(std::string("RegQueryValueExA ") + RUN_ONCE_ENTRIES_KEY + " [" + kPacked + "]"), 0);
    EXPECT_GE(sim::FindTrace(std::string("RegCreateKeyExA ") + RUN_KEY + " 0xF003F"), 0);
    EXPECT_EQ(sim::registry::OpenHandleCount(), 0) << "every key is closed";
}

TEST_F(Resume, TwoRegistrationsLeaveOneValue) {
    RegisterResume(kCode);
    RegisterResume(kCode);
    EXPECT_EQ(sim::registry::Values(RUN_KEY).size(), 1u);
    EXPECT_EQ(ResumeValue(), kCommandLine);
}

TEST_F(Resume, AnEmptyProductCodeAsksAboutTheUnnamedValue) {
    sim::registry::SetValue(RUN_ONCE_ENTRIES_KEY, "", REG_SZ, "resume");
    RegisterResume("");
    EXPECT_GE(sim::FindTrace(std::string("RegQueryValueExA ") + RUN_ONCE_ENTRIES_KEY + " []"), 0);
    EXPECT_FALSE(HasResumeValue()) << "the unnamed value holds more than one byte";
}

TEST_F(Resume, RegistryFailuresAreNotReported) {
    sim::registry::RefuseOpen(RUN_ONCE_ENTRIES_KEY);
    sim::registry::RefuseCreate(RUN_KEY);
    EXPECT_EQ(AnswerRestart(IDYES), 0u);
    EXPECT_FALSE(HasResumeValue());
    EXPECT_EQ(sim::MessageBoxes().size(), 1u) << "only the question itself";
    EXPECT_EQ(sim::session::ExitRequests().size(), 1u);
}

TEST_F(Resume, StartUpRemovalDeletesTheValueWhicheverSetupWroteIt) {
    sim::registry::SetText(RUN_KEY, RESUME_VALUE_NAME, "\"D:\\Other\\setup.exe\"");
    sim::registry::SetText(RUN_KEY, "Other", "other.exe");
    RemoveResumeEntry();
    EXPECT_FALSE(HasResumeValue());
    EXPECT_EQ(sim::registry::GetText(RUN_KEY, "Other"), "other.exe") << "other values stay";
    EXPECT_GE(sim::FindTrace(std::string("RegOpenKeyExA ") + RUN_KEY + " 0x2001B"), 0);
    EXPECT_EQ(sim::registry::OpenHandleCount(), 0);
}

TEST_F(Resume, StartUpRemovalIsSkippedForAnEmptyProductCode) {
    g_settings.productCode[0] = 0;
    sim::registry::SetText(RUN_KEY, RESUME_VALUE_NAME, kCommandLine);
    RemoveResumeEntry();
    EXPECT_TRUE(HasResumeValue());
    EXPECT_EQ(sim::registry::OpenCount(RUN_KEY), 0) << "the Run key is not even opened";
}

TEST_F(Resume, StartUpRemovalWithoutARunKeyDoesNothing) {
    RemoveResumeEntry();
    EXPECT_FALSE(sim::registry::KeyExists(RUN_KEY)) << "nothing is created";
}

}  // namespace

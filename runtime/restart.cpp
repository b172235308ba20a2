// The restart question: Yes registers the resume and restarts Windows.
#include "format/ini_keys.h"
#include "base/resume_entry.h"
#include "base/text.h"
#include "container/settings.h"
#include "runtime/runtime.h"
#include "ui/ui.h"

// Without the shutdown privilege Windows refuses the restart; its absence is
// not an error, the restart is attempted anyway.
static void EnableShutdownPrivilege(void) {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return;
    TOKEN_PRIVILEGES privileges;
    FillBytes(&privileges, 0, sizeof privileges);
    LookupPrivilegeValueA(NULL, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid);
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, NULL, NULL);
    CloseHandle(token);
}

void RestartQuestion(void) {
    // Unattended the machine is never restarted: the caller is told a restart
    // is required and restarts when it may; the setup then resumes by itself.
    if (g_run.attendance >= UNATTENDED_PASSIVE) {
        RegisterResume(g_settings.productCode);
        EndRun(EXIT_CODE_RESTART_REQUIRED, NULL);
    }
    char text[TEXT_FIELD];
    LoadMessageText(text, MSG_REBOOT, g_run.iniPath, INI_KEY_REBOOT, BUILTIN_REBOOT);
    if (ShowProductMessage(text, MB_YESNO) == IDYES) {
        RegisterResume(g_settings.productCode);
        EnableShutdownPrivilege();
        ExitWindowsEx(EWX_REBOOT, 0);
        // Set before the splash closes, so that its pumping dispatches nothing
        // more once the restart has begun.
        g_run.sessionEnding = TRUE;
    }
    EndRun(EXIT_CODE_OK, NULL);
}

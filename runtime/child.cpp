// The child process runner: the one way the setup starts other programs.
#include "runtime/child.h"

#include "base/resume_entry.h"
#include "base/text.h"
#include "ui/ui.h"

#define CHILD_POLL_MS 500

// Side-file mode: the program's own folder, without its trailing backslash,
// so that relative paths from the side INI file resolve next to it.
static void OwnFolder(char* out) {
    CopyText(out, PATH_BUFFER, g_run.ownPath);
    char* lastBackslash = NULL;
    for (char* p = out; *p; p = CharNextA(p))
        if (*p == '\\') lastBackslash = p;
    if (lastBackslash) *lastBackslash = 0;
}

DWORD RunAndWait(LPCSTR file, LPCSTR parameters, LPCSTR folder, BOOL wait, LPCSTR productCode, DWORD unknownCode) {
    SHELLEXECUTEINFOA info;
    FillBytes(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = file;
    info.lpParameters = parameters;
    info.nShow = SW_SHOWNORMAL;
    // A folder of the setup's choosing, never the current folder it inherited.
    char ownFolder[PATH_BUFFER];
    if (!g_run.embedded) {
        OwnFolder(ownFolder);
        folder = ownFolder;
    }
    info.lpDirectory = folder;
    if (!ShellExecuteExA(&info)) return unknownCode;
    // Pending while the child is waited for: the splash registers the resume
    // as it handles the session's end, before Windows may end the process.
    if (wait) g_run.resumeProductCode = productCode;
    PumpMessages();
    if (wait) {
        while (WaitForSingleObject(info.hProcess, CHILD_POLL_MS) == WAIT_TIMEOUT) {
            PumpMessages();
            if (g_run.sessionEnding) {
                // The child keeps running; the setup comes back after the
                // restart (registered here unless the splash did so already).
                if (g_run.resumeProductCode) RegisterResume(productCode);
                break;
            }
        }
    }
    g_run.resumeProductCode = NULL;
    DWORD exitCode;
    if (!GetExitCodeProcess(info.hProcess, &exitCode)) exitCode = unknownCode;
    PumpMessages();
    CloseHandle(info.hProcess);
    return exitCode;
}

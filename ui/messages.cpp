// The run's message boxes (the fallback box captioned "Install" and the
// boxes captioned with the product name, none with an owner window), the
// event log that takes their place where no one answers, and the run's one
// end.
#include "ui/ui.h"

#include "base/command_line.h"
#include "base/system_files.h"
#include "base/text.h"

// Both libraries are in the process from its start, imported for other
// calls; these entry points are looked up because the 95/98 family lacks them.
#define USER_LIBRARY "USER32"
#define ADVAPI_LIBRARY "ADVAPI32"

typedef HWINSTA(WINAPI* GetProcessWindowStationProc)(void);
typedef BOOL(WINAPI* GetUserObjectInformationProc)(HANDLE object, int index, LPVOID info, DWORD length,
                                                   LPDWORD needed);
typedef HANDLE(WINAPI* RegisterEventSourceProc)(LPCSTR server, LPCSTR source);
typedef BOOL(WINAPI* ReportEventProc)(HANDLE log, WORD type, WORD category, DWORD id, void* user, WORD count,
                                      DWORD dataSize, LPCSTR* strings, LPVOID data);

// A service's window station is not visible. One that cannot be asked (the
// 95/98 family has none) counts as seen: an interactive run expects its boxes.
static BOOL StationVisible(void) {
    HMODULE user = GetModuleHandleA(USER_LIBRARY);
    GetProcessWindowStationProc station = ENTRY_POINT(GetProcessWindowStationProc, user, "GetProcessWindowStation");
    GetUserObjectInformationProc query = ENTRY_POINT(GetUserObjectInformationProc, user, "GetUserObjectInformationA");
    USEROBJECTFLAGS flags;
    DWORD needed;
    return !station || !query || !query(station(), UOI_FLAGS, &flags, sizeof flags, &needed) ||
           (flags.dwFlags & WSF_VISIBLE);
}

void FindAttendance(void) {
    g_run.attendance = StationVisible() ? EngineUiLevel(g_run.commandTail) : UNATTENDED_INVISIBLE;
}

// An error record in the Application log, the source named after the
// product ("Install", as the box's caption, before the settings are read).
// Nothing more can be done when the log refuses it. The run ends right
// after, and its end releases the source's handle.
static void ReportToEventLog(LPCSTR text) {
    HMODULE advapi = GetModuleHandleA(ADVAPI_LIBRARY);
    RegisterEventSourceProc open = ENTRY_POINT(RegisterEventSourceProc, advapi, "RegisterEventSourceA");
    ReportEventProc report = ENTRY_POINT(ReportEventProc, advapi, "ReportEventA");
    LPCSTR source = ProductName();
    HANDLE log = open && report ? open(NULL, source[0] ? source : INSTALL_CAPTION) : NULL;
    if (log) report(log, EVENTLOG_ERROR_TYPE, 0, 0, NULL, 1, 0, &text, NULL);
}

void ShowInstallError(LPCSTR text) {
    if (!text) text = CORRUPT_TEXT;
    if (g_run.attendance >= UNATTENDED_PASSIVE)
        ReportToEventLog(text);
    else
        MessageBoxA(NULL, text, INSTALL_CAPTION, MB_OK);
}

void EndRun(UINT exitCode, LPCSTR failureText) {
    if (failureText) ShowInstallError(failureText);
    CloseSplash();
    CloseProgressDialog();
    ReleaseLocked(&g_run.crcTableMemory);
    ReleaseLocked(&g_run.workBufferMemory);
    if (g_run.containerFile > 0) _lclose(g_run.containerFile);
    ExitProcess(exitCode);
}

int ShowProductMessage(LPCSTR text, UINT buttons) {
    if (g_run.attendance < UNATTENDED_PASSIVE) return MessageBoxA(NULL, text, ProductName(), buttons);
    ReportToEventLog(text);
    return 0;
}

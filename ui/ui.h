// The splash window, the progress dialog, the message boxes and the pump.
#pragma once

#include "base/run_state.h"

#define SPLASH_CLASS_NAME "VeskForWindowsInstaller"
#define SPLASH_TIMER_ID 8297
#define SPLASH_HOLD_MS 3000
#define RESOURCE_ICON 108
#define RESOURCE_DIALOG 110
#define RESOURCE_BITMAP 111
#define PROGRESS_BAR_ID 1007
#define INSTALL_CAPTION "Install"
#define CORRUPT_TEXT "Corrupt installation detected."

// Who is there (g_run.attendance): the engine switches of the command tail,
// and whether anyone can see the process's window station.
void FindAttendance(void);
void PumpMessages(void);
void WaitSplashHold(void);
void ShowInstallError(LPCSTR text);
// The one end of every run: the failure box captioned "Install" when a text
// is given, then the same cleanup every time (the splash and the progress
// dialog closed, the run's memory released, the container closed), and the
// process ends with exitCode.
void EndRun(UINT exitCode, LPCSTR failureText) __attribute__((noreturn));
// Unattended, the text goes to the event log instead and the result is 0,
// as for a box that cannot be shown; the run ends right after.
int ShowProductMessage(LPCSTR text, UINT buttons);
void OpenProgressDialog(void);
void SetProgressPosition(int position);
void CloseProgressDialog(void);
extern "C" STUB_EXPORT INT_PTR CALLBACK ProgressDlg(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void LoadSplashBitmap(void);
ATOM RegisterSplashClass(void);
void CreateSplash(void);
extern "C" STUB_EXPORT LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void SetSplashVisible(BOOL visible);
void CloseSplash(void);

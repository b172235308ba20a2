// The splash window, the progress dialog, the message boxes and the pump.
#pragma once

#include "driver/run_state.h"

#define SPLASH_CLASS_NAME "VeskForWindowsInstaller"
#define SPLASH_TIMER_ID 8297
#define SPLASH_HOLD_MS 3000
#define RESOURCE_ICON 108
#define RESOURCE_DIALOG 110
#define RESOURCE_BITMAP 111
#define PROGRESS_BAR_ID 1007
#define INSTALL_CAPTION "Install"
#define CORRUPT_TEXT "Corrupt installation detected."

void PumpMessages(void);
void WaitSplashHold(void);
void ShowInstallError(LPCSTR text);
// The box of ShowInstallError, then the end of the run with exit code 1: a
// caller such as a deployment tool must not read a failure as an installation.
void FailInstall(LPCSTR text) __attribute__((noreturn));
int ShowProductMessage(LPCSTR text, UINT buttons);
void OpenProgressDialog(void);
void SetProgressPosition(int position);
void CloseProgressDialog(void);
extern "C" STUB_EXPORT INT_PTR CALLBACK ProgressDlg(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void LoadSplashBitmap(void);
ATOM RegisterSplashClass(void);
void CreateSplash(void);
void CreateSplashPalette(void);
extern "C" STUB_EXPORT LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void SetSplashVisible(BOOL visible);
void CloseSplash(void);

// The run's message boxes (the fallback box captioned "Install" and the
// boxes captioned with the product name, none with an owner window) and the
// run's one end.
#include "ui/ui.h"

#include "base/text.h"

void ShowInstallError(LPCSTR text) {
    MessageBoxA(NULL, text ? text : CORRUPT_TEXT, INSTALL_CAPTION, MB_OK);
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
    return MessageBoxA(NULL, text, ProductName(), buttons);
}

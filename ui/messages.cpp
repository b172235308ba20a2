// The run's message boxes: the fallback box captioned "Install" and the
// boxes captioned with the product name. None has an owner window.
#include "ui/ui.h"

#include "driver/settings.h"

void ShowInstallError(LPCSTR text) {
    MessageBoxA(NULL, text ? text : CORRUPT_TEXT, INSTALL_CAPTION, MB_OK);
}

void FailInstall(LPCSTR text) {
    ShowInstallError(text);
    ExitProcess(EXIT_CODE_FAILED);
}

int ShowProductMessage(LPCSTR text, UINT buttons) {
    return MessageBoxA(NULL, text, ProductName(), buttons);
}

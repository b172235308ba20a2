// The progress dialog shown while a stored file is extracted.
#include "ui/ui.h"

void OpenProgressDialog(void) {
    g_run.progressDialog = CreateDialogParamA(g_run.instance, MAKEINTRESOURCEA(RESOURCE_DIALOG),
                                              NULL, ProgressDlg, 0);
    // The template's caption is a blank; the dialog carries the product name.
    if (g_run.progressDialog) SetWindowTextA(g_run.progressDialog, ProductName());
}

void SetProgressPosition(int position) {
    if (!g_run.progressDialog) return;
    SendMessageA(GetDlgItem(g_run.progressDialog, PROGRESS_BAR_ID), PBM_SETPOS, (WPARAM)position, 0);
}

void CloseProgressDialog(void) {
    if (!g_run.progressDialog) return;
    DestroyWindow(g_run.progressDialog);
    g_run.progressDialog = NULL;
    PumpMessages();
}

extern "C" INT_PTR CALLBACK ProgressDlg(HWND, UINT message, WPARAM, LPARAM) {
    // Any command is a request to cancel: the Cancel button, and the close
    // box, which the dialog manager turns into IDCANCEL. The dialog stays
    // up; the extraction notices the flag after its chunk.
    if (message == WM_COMMAND) g_run.cancelRequested = TRUE;
    return FALSE;
}

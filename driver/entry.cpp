// The entry routine and the run sequence: the one file above every other.
#include "base/command_line.h"
#include "base/own_path.h"
#include "base/resume_entry.h"
#include "base/system_files.h"
#include "base/text.h"
#include "container/container.h"
#include "container/extract.h"
#include "container/settings.h"
#include "driver/run.h"
#include "product/product.h"
#include "runtime/runtime.h"
#include "ui/ui.h"

static BOOL AllocateWorkBuffer(void) {
    g_run.workBuffer = (BYTE*)AllocateLocked(GMEM_MOVEABLE, WORK_BUFFER_SIZE, &g_run.workBufferMemory);
    return g_run.workBuffer != NULL;
}

extern "C" void WINAPI StubEntry(void) {
    // Before any window, box or library load: nothing planted beside the
    // setup may be found by a later search.
    RestrictLibrarySearch();
    SetErrorMode(SEM_NOALIGNMENTFAULTEXCEPT);
    g_run.commandTail = FindCommandTail(GetCommandLineA());
    FindAttendance();
    g_run.instance = GetModuleHandleA(NULL);
    // A cut own path would open another file as the container.
    if (!GetOwnExecutablePath(g_run.ownPath)) EndRun(EXIT_CODE_FAILED, CORRUPT_TEXT);
    FindOwnDirectory();
    // The progress dialog's bar needs its window class before any dialog opens.
    InitCommonControlsFromSystem();

    // Held from here to the end: nobody may write or rename the file the
    // container is read from while the setup runs.
    g_run.containerFile = _lopen(g_run.ownPath, OF_READ | OF_SHARE_DENY_WRITE);
    if (g_run.containerFile == HFILE_ERROR) EndRun(EXIT_CODE_FAILED, CORRUPT_TEXT);
    g_run.splashWindow = NULL;
    // Without these the container cannot be read or checked at all.
    if (!BuildCrcTable() || !AllocateWorkBuffer() || !FindPayloadSection()) EndRun(EXIT_CODE_FAILED, CORRUPT_TEXT);
    if (g_run.embedded) {
        // The stored file name is joined to folders: a path in it would
        // put the product file elsewhere.
        if (!ReadContainerHeader() || !IsPlainName(g_settings.productFileName))
            EndRun(EXIT_CODE_FAILED, CORRUPT_TEXT);
    } else if (!LoadSideSettings()) {
        EndRun(EXIT_CODE_OK, NULL);
    }
    RemoveResumeEntry();

    LoadSplashBitmap();
    // Ends silently, but not with the 0 of an installation.
    if (!RegisterSplashClass()) EndRun(EXIT_CODE_FAILED, NULL);
    CreateSplash();
    if (g_run.embedded && g_settings.expectedFileSize && !CheckFileSize()) EndRun(EXIT_CODE_FAILED, CORRUPT_TEXT);

    RuntimeStep();
    if (g_run.sessionEnding) EndRun(EXIT_CODE_OK, NULL);
    RemovePreviousVersion();
    char productPath[PATH_BUFFER];
    productPath[0] = 0;
    // The product file stays as extracted until the engine has ended.
    HANDLE productHold = PlaceProductFile(productPath);
    UINT exitCode = LaunchEngine(productPath);
    // Side-file mode holds nothing: closing INVALID_HANDLE_VALUE does nothing.
    CloseHandle(productHold);
    EndRun(exitCode, NULL);
}

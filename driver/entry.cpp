// The entry routine and the run sequence.
#include "container/container.h"
#include "container/extract.h"
#include "driver/child.h"
#include "driver/run.h"
#include "driver/run_state.h"
#include "driver/settings.h"
#include "driver/text.h"
#include "product/product.h"
#include "runtime/runtime.h"
#include "ui/ui.h"

RunState g_run;
SetupSettings g_settings;

extern "C" void WINAPI StubEntry(void) { ExitProcess(RunSetup()); }

LPCSTR SkipProgramPart(LPCSTR commandLine) {
    LPCSTR p = commandLine;
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p && *p != ' ') ++p;
    }
    return p;
}

LPCSTR FindCommandTail(LPCSTR commandLine) {
    LPCSTR p = SkipProgramPart(commandLine);
    while (*p == ' ') ++p;
    if (*p == '/') return p;
    // Arguments that are neither a switch nor hold a property assignment
    // are not passed on: the tail is then the empty end of the line.
    LPCSTR end = p;
    while (*end) ++end;
    for (LPCSTR q = p; q < end; ++q)
        if (*q == '=') return p;
    return end;
}

// The own path up to and with its last backslash. CharNextA, because the
// second byte of a double-byte character may be a backslash.
static void FindOwnDirectory(void) {
    CopyText(g_run.ownDirectory, PATH_BUFFER, g_run.ownPath);
    char* cut = g_run.ownDirectory;
    for (char* p = g_run.ownDirectory; *p; p = CharNextA(p))
        if (*p == '\\') cut = p + 1;
    *cut = 0;
}

static BOOL AllocateWorkBuffer(void) {
    g_run.workBuffer = (BYTE*)AllocateLocked(GMEM_MOVEABLE, WORK_BUFFER_SIZE, &g_run.workBufferMemory);
    return g_run.workBuffer != NULL;
}

UINT RunSetup(void) {
    // Before any window, box or library load: nothing planted beside the
    // setup may be found by a later search.
    RestrictLibrarySearch();
    SetErrorMode(SEM_NOALIGNMENTFAULTEXCEPT);
    g_run.commandTail = FindCommandTail(GetCommandLineA());
    g_run.instance = GetModuleHandleA(NULL);
    GetOwnExecutablePath(g_run.ownPath);
    FindOwnDirectory();
    // The progress dialog's bar needs its window class before any dialog opens.
    InitCommonControlsFromSystem();

    g_run.containerFile = _lopen(g_run.ownPath, OF_READ);
    if (g_run.containerFile == HFILE_ERROR) FailInstall(NULL);
    g_run.splashWindow = NULL;
    // Without these the container cannot be read or checked at all.
    if (!BuildCrcTable() || !AllocateWorkBuffer()) FailInstall(NULL);

    if (FindPayloadSection() != 0) FailInstall(NULL);
    if (g_run.embedded) {
        if (!ReadContainerHeader()) FailInstall(NULL);
    } else if (!LoadSideSettings()) {
        return EXIT_CODE_OK;
    }
    if (g_settings.productCode[0]) RemoveResumeEntry();

    LoadSplashBitmap();
    // Ends silently, but not with the 0 of an installation.
    if (!RegisterSplashClass()) return EXIT_CODE_FAILED;
    CreateSplash();
    if (g_run.embedded && g_settings.expectedFileSize && !CheckFileSize()) FailInstall(NULL);

    RuntimeStep();
    UINT code = EXIT_CODE_OK;
    if (!g_run.sessionEnding) {
        RemovePreviousVersion();
        char productPath[PATH_BUFFER];
        productPath[0] = 0;
        PlaceProductFile(productPath);
        code = LaunchEngine(productPath);
    }

    CloseSplash();
    FreeCrcTable();
    _lclose(g_run.containerFile);
    return code;
}

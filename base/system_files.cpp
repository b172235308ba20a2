// Files of the system folder and the libraries the setup loads at run time.
// Every one is named by its full path, and the process's own search for
// libraries is held to the system folder, so that a DLL planted beside a
// downloaded setup is never one that runs.
#include "base/system_files.h"

#include "base/text.h"

#define KERNEL_LIBRARY "KERNEL32"  // the platform adds ".DLL"
#define KERNEL_SET_DEFAULT_DLL_DIRECTORIES "SetDefaultDllDirectories"  // Windows 7 with its update on
#define KERNEL_SET_DLL_DIRECTORY "SetDllDirectoryA"                    // XP SP1 on
#define COMMON_CONTROLS_LIBRARY "COMCTL32.DLL"
// Not the Ex form: the first 95 and NT 4.0 libraries lack it.
#define COMMON_CONTROLS_INIT "InitCommonControls"
// The platform loads it by name at the first window.
#define THEME_LIBRARY "UXTHEME.DLL"

BOOL SystemFolder(char* out) {
    UINT length = GetSystemDirectoryA(out, PATH_BUFFER);
    if (length == 0 || length >= PATH_BUFFER) {
        out[0] = 0;
        return FALSE;
    }
    return TRUE;
}

BOOL SystemFilePath(char* out, LPCSTR name) {
    if (!SystemFolder(out)) return FALSE;
    if (!EndsWithBackslash(out) && !AppendText(out, PATH_BUFFER, "\\")) return FALSE;
    return AppendText(out, PATH_BUFFER, name);
}

typedef BOOL(WINAPI* SetDefaultDllDirectoriesProc)(DWORD directories);
typedef BOOL(WINAPI* SetDllDirectoryProc)(LPCSTR folder);
typedef void(WINAPI* InitCommonControlsProc)(void);

// Whether the process's search for libraries holds to the system folder.
// Until it does, libraries load with the altered search, which makes their
// own dependencies come from their folder, the system folder, first; once it
// does, their dependencies come from the system folder alone.
RUN_STATE BOOL s_searchHeld;

void RestrictLibrarySearch(void) {
    HMODULE kernel = GetModuleHandleA(KERNEL_LIBRARY);
    SetDefaultDllDirectoriesProc restrict =
        ENTRY_POINT(SetDefaultDllDirectoriesProc, kernel, KERNEL_SET_DEFAULT_DLL_DIRECTORIES);
    s_searchHeld = restrict && restrict(LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (s_searchHeld) return;
    // Older systems: at least the current folder leaves the search.
    SetDllDirectoryProc setFolder = ENTRY_POINT(SetDllDirectoryProc, kernel, KERNEL_SET_DLL_DIRECTORY);
    if (setFolder) setFolder("");
    // What the platform loads by bare name later in a window program's life is
    // loaded from the system folder first: the later load finds it in memory.
    LoadSystemLibrary(THEME_LIBRARY);
}

HMODULE LoadSystemLibrary(LPCSTR name) {
    char path[PATH_BUFFER];
    // A path that does not fit names another file: the library cannot be loaded.
    if (!SystemFilePath(path, name)) return NULL;
    return LoadLibraryExA(path, NULL, s_searchHeld ? 0 : LOAD_WITH_ALTERED_SEARCH_PATH);
}

void InitCommonControlsFromSystem(void) {
    HMODULE library = LoadSystemLibrary(COMMON_CONTROLS_LIBRARY);
    if (!library) return;
    // Kept loaded: its window classes serve the whole run.
    InitCommonControlsProc init = ENTRY_POINT(InitCommonControlsProc, library, COMMON_CONTROLS_INIT);
    if (init) init();
}

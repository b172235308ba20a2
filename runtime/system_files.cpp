// Files of the system folder: the libraries the setup loads at run time and
// the file version of MSI.DLL. Every one is named by its full path, so that
// a DLL planted beside a downloaded setup is never the one that runs.
#include "driver/text.h"
#include "runtime/installer.h"
#include "runtime/runtime.h"

// Only the root block of version data is read: 1536 bytes hold it.
#define VERSION_DATA_SIZE 1536u
#define FIXED_FILE_INFO_SIGNATURE 0xFEEF04BDu

BOOL SystemFilePath(char* out, LPCSTR name) {
    UINT length = GetSystemDirectoryA(out, PATH_BUFFER);
    if (length == 0 || length >= PATH_BUFFER) {
        out[0] = 0;
        return FALSE;
    }
    if (!EndsWithBackslash(out) && !AppendText(out, PATH_BUFFER, "\\")) return FALSE;
    return AppendText(out, PATH_BUFFER, name);
}

HMODULE LoadSystemLibrary(LPCSTR name) {
    char path[PATH_BUFFER];
    // A path that does not fit names another file: the library cannot be loaded.
    if (!SystemFilePath(path, name)) return NULL;
    return LoadLibraryA(path);
}

static int ReadFixedVersion(HMODULE library, LPCSTR path, DWORD* high, DWORD* low) {
    GetFileVersionInfoProc getInfo = ENTRY_POINT(GetFileVersionInfoProc, library, VERSION_GET_FILE_VERSION_INFO);
    VerQueryValueProc query = ENTRY_POINT(VerQueryValueProc, library, VERSION_QUERY_VALUE);
    if (!getInfo || !query) return 1;
    if (!getInfo(path, 0, VERSION_DATA_SIZE, g_run.workBuffer)) return 1;
    LPVOID value = NULL;
    UINT length = 0;
    if (!query(g_run.workBuffer, "\\", &value, &length)) return 1;
    // Data that is not a whole fixed version record reads as no version.
    const VS_FIXEDFILEINFO* fixed = (const VS_FIXEDFILEINFO*)value;
    if (!fixed || length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != FIXED_FILE_INFO_SIGNATURE) return 1;
    *high = fixed->dwFileVersionMS;
    *low = fixed->dwFileVersionLS;
    return 0;
}

int GetFileVersionPair(LPCSTR path, DWORD* high, DWORD* low) {
    *high = 0;
    *low = 0;
    HMODULE library = LoadSystemLibrary(VERSION_LIBRARY);
    if (!library) return 1;
    int result = ReadFixedVersion(library, path, high, low);
    FreeLibrary(library);
    return result;
}

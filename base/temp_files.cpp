// Names in the temporary folder.
#include "base/temp_files.h"

#include "base/text.h"

#define TEMP_FILE_PREFIX "ZRP"

// The temporary folder with its trailing backslash; FALSE when there is none
// or it does not fit (the call then reports the size it would need).
BOOL TempFolder(char* out) {
    DWORD length = GetTempPathA(PATH_BUFFER, out);
    if (length == 0 || length >= PATH_BUFFER) {
        out[0] = 0;
        return FALSE;
    }
    return TRUE;
}

void MakeTempFileName(char* out) {
    char folder[PATH_BUFFER];
    // The platform writes up to MAX_PATH bytes: a name that does not fit the
    // path buffer is not taken (the path stays empty and will not open).
    char name[MAX_PATH];
    out[0] = 0;
    if (!TempFolder(folder)) return;
    name[0] = 0;
    if (GetTempFileNameA(folder, TEMP_FILE_PREFIX, 0, name) == 0) return;
    if (BoundedLength(name, MAX_PATH) >= PATH_BUFFER) {
        DeleteFileA(name);
        return;
    }
    CopyText(out, PATH_BUFFER, name);
}

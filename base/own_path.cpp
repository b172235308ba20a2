// The executable's own path and folder.
#include "base/own_path.h"

#include "base/text.h"

BOOL GetOwnExecutablePath(char* out) {
    // One byte more than a path may have: a path that fills it was cut,
    // whether the platform then terminates it (newer systems), leaves it
    // unterminated (older ones, Wine) or gives one character less (the
    // 95/98 family). A cut path names another file: it is refused.
    char path[PATH_BUFFER + 1];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    out[0] = 0;
    if (length == 0 || length >= PATH_BUFFER) return FALSE;
    path[length] = 0;
    return CopyText(out, PATH_BUFFER, path);
}

// The own path up to and with its last backslash. CharNextA, because the
// second byte of a double-byte character may be a backslash.
void FindOwnDirectory(void) {
    CopyText(g_run.ownDirectory, PATH_BUFFER, g_run.ownPath);
    char* cut = g_run.ownDirectory;
    for (char* p = g_run.ownDirectory; *p; p = CharNextA(p))
        if (*p == '\\') cut = p + 1;
    *cut = 0;
}

BOOL IsFullPath(LPCSTR path) {
    BOOL drive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) && path[1] == ':' &&
                 path[2] == '\\';
    return drive || (path[0] == '\\' && path[1] == '\\');
}

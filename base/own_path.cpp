// The executable's own path and folder.
#include "base/own_path.h"

#include "base/text.h"

void GetOwnExecutablePath(char* out) {
    // Older systems leave a path that fills the buffer unterminated.
    DWORD length = GetModuleFileNameA(NULL, out, PATH_BUFFER);
    if (length >= PATH_BUFFER) length = PATH_BUFFER - 1;
    out[length] = 0;
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

// Starting another program through the shell and waiting for it.
#pragma once

#include "win32/api.h"

// Starts file with parameters and, when wait is set, waits for it while the
// program's windows stay responsive. Returns the child's exit code: 0 when it
// could not be started, STILL_ACTIVE when the session ended during the wait
// (the setup is then registered to resume after the restart).
DWORD RunAndWait(LPCSTR file, LPCSTR parameters, BOOL wait, LPCSTR productCode);
// The executable's full path (PATH_BUFFER bytes), always terminated.
void GetOwnExecutablePath(char* out);

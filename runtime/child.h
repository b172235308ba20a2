// Starting another program through the shell and waiting for it.
#pragma once

#include "base/run_state.h"

// Starts file with parameters in folder (in side-file mode always in the
// program's own folder, where the side files are) and, when wait is set,
// waits for it while the program's windows stay responsive. Returns the child's exit code:
// unknownCode when it could not be started or its code cannot be read,
// STILL_ACTIVE when the wait ended before the child did (the session ending:
// the setup is then registered to resume after the restart).
DWORD RunAndWait(LPCSTR file, LPCSTR parameters, LPCSTR folder, BOOL wait, LPCSTR productCode, DWORD unknownCode);

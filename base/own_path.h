// The executable's own path and folder.
#pragma once

#include "base/run_state.h"

// The executable's full path (PATH_BUFFER bytes); FALSE, with out empty,
// when the platform gives none or one that does not fit.
BOOL GetOwnExecutablePath(char* out);
// g_run.ownDirectory from g_run.ownPath.
void FindOwnDirectory(void);
// A path from a drive's root (C:\...) or a network path (\\server\...):
// one that no current folder changes.
BOOL IsFullPath(LPCSTR path);

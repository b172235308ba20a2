// The executable's own path and folder.
#pragma once

#include "base/run_state.h"

// The executable's full path (PATH_BUFFER bytes), always terminated.
void GetOwnExecutablePath(char* out);
// g_run.ownDirectory from g_run.ownPath.
void FindOwnDirectory(void);

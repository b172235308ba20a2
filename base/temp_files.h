// Names in the temporary folder.
#pragma once

#include "base/run_state.h"

// The temporary folder with its trailing backslash (PATH_BUFFER bytes);
// FALSE when there is none or it does not fit.
BOOL TempFolder(char* out);
// A fresh empty temporary file (PATH_BUFFER bytes); empty when none could be
// named within the buffer.
void MakeTempFileName(char* out);

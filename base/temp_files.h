// Names in the temporary folder, and the folders a run makes there for itself.
#pragma once

#include "base/run_state.h"

// A fresh empty file in folder (PATH_BUFFER bytes); empty when none could be
// named within the buffer.
void MakeTempFileNameIn(LPCSTR folder, char* out);
// Whether the run holds an administrator's full rights (elevated, where the
// platform filters them).
BOOL RunsAsAdministrator(void);
// A folder made fresh for this run (PATH_BUFFER bytes, no trailing
// backslash), where nothing of anyone else's can sit beside what the run
// puts there. When elevated (RunsAsAdministrator), it is made in the
// system's temporary folder, Administrators' and SYSTEM's alone; else in the
// user's, the user's own. FALSE when it cannot be made.
BOOL MakePrivateFolder(char* folder, BOOL elevated);

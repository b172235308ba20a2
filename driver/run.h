// The entry routine and the fixed order of a run.
#pragma once

#include "win32/api.h"

// The process entry point: runs the setup and ends the process with its code.
extern "C" STUB_EXPORT void WINAPI StubEntry(void);
// Runs steps 1 to 16 and returns the exit code; ends the process itself on
// the paths that must (declined removal, no administrator rights, ...).
UINT RunSetup(void);
// Where the program part of a command line ends: after its closing quote
// when it is quoted, else at the first blank.
LPCSTR SkipProgramPart(LPCSTR commandLine);
// The part of the command line that is passed to the installer engine:
// a pointer into commandLine, never a copy.
LPCSTR FindCommandTail(LPCSTR commandLine);

// The process command line.
#pragma once

#include "win32/api.h"

// Where the program part of a command line ends: after its closing quote
// when it is quoted, else at the first blank.
LPCSTR SkipProgramPart(LPCSTR commandLine);
// The part of the command line that is passed to the installer engine:
// a pointer into commandLine, never a copy.
LPCSTR FindCommandTail(LPCSTR commandLine);

// The process command line.
#pragma once

#include "win32/api.h"

// Where the program part of a command line ends: after its closing quote
// when it is quoted, else at the first blank.
LPCSTR SkipProgramPart(LPCSTR commandLine);
// The part of the command line that is passed to the installer engine:
// a pointer into commandLine, never a copy.
LPCSTR FindCommandTail(LPCSTR commandLine);

// How far the engine switches in text silence the engine (ENGINE_UI_DEFAULT
// to UNATTENDED_SILENT of base/run_state.h), by the most silent one: a word
// of its own (after a blank or at the start) outside double quotes, '/' or
// '-' first, in any case.
UINT EngineUiLevel(LPCSTR text);

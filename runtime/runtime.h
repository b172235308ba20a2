// The Windows Installer runtime step, and the restart it may ask for.
#pragma once

#include "base/run_state.h"

// Checks the installed runtime and, when needed and carried, installs it;
// otherwise steps the container over both stored runtime installers. May
// end the run.
void RuntimeStep(void);
// Asks whether to restart now; never returns (exit code 0). Unattended it
// registers the resume without asking and ends with exit code 3010.
void RestartQuestion(void) __attribute__((noreturn));
// The fixed file version of a file as its two words; TRUE when it was read,
// FALSE when not, both words then 0.
BOOL GetFileVersionPair(LPCSTR path, DWORD* high, DWORD* low);
// 95/98 family: the low half of WININIT.INI's last-write time; 0 elsewhere
// and when the file cannot be opened.
DWORD WininitStamp(void);

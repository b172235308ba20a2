// The entry routine: the fixed order of a run.
#pragma once

#include "win32/api.h"

// The process entry point: runs the setup to its end, which ends the process.
extern "C" STUB_EXPORT void WINAPI StubEntry(void) __attribute__((noreturn));

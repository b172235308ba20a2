// The side INI file's section, read through the platform's profile calls.
#pragma once

#include "base/run_state.h"

// A value of the side INI file's section (fallback when it is missing,
// empty for a NULL fallback), cut to fit cap bytes; its length, as
// GetPrivateProfileStringA gives it.
DWORD ReadSideText(LPCSTR key, LPCSTR fallback, char* out, UINT cap);
// A number of the side INI file's section, fallback when it is missing.
UINT ReadSideNumber(LPCSTR key, int fallback);
// The side INI file's runtime installer for the NT family (RuntimeNT) or
// the 95/98 family (Runtime9X).
// Returns the length read.
DWORD ReadSideRuntime(BOOL nt, char* out, UINT cap);

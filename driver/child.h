// Starting another program through the shell and waiting for it.
#pragma once

#include "win32/api.h"

DWORD RunAndWait(LPCSTR file, LPCSTR parameters, BOOL wait, LPCSTR productCode);

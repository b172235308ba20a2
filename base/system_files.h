// Files of the system folder, and the libraries the setup loads from there.
#pragma once

#include "base/run_state.h"

// GetProcAddress's result as the entry point's own type, by way of the
// generic function type that converts to any other.
#define ENTRY_POINT(type, module, name) ((type)(void (*)(void))GetProcAddress(module, name))

// The system folder in out (PATH_BUFFER bytes); FALSE, and empty, when the
// platform gives none or it does not fit.
BOOL SystemFolder(char* out);
// "<system folder>\name" in out (PATH_BUFFER bytes); FALSE, and no file to
// use, when it does not fit.
BOOL SystemFilePath(char* out, LPCSTR name);
// First of all: the process's search for libraries held to the system folder
// where the platform can, and where it cannot, the libraries the platform
// loads by name later taken from the system folder beforehand.
void RestrictLibrarySearch(void);
// A library of the system folder, loaded by its full path with its own
// dependencies from the system folder; NULL when it cannot be loaded.
HMODULE LoadSystemLibrary(LPCSTR name);
// The common controls' window classes (the progress bar) registered, from
// the system folder's library. Without it the progress dialog cannot be
// made, and extraction goes on without one.
void InitCommonControlsFromSystem(void);

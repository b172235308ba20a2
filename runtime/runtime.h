// The Windows Installer runtime step, restart and resume.
#pragma once

#include "driver/run_state.h"

// Run sequence step 11: checks the installed runtime and, when needed and
// carried, installs it; otherwise steps the container over both stored
// runtime installers. May end the run.
void RuntimeStep(void);
// Asks whether to restart now; never returns (exit code 0).
void RestartQuestion(void);
void RegisterResume(LPCSTR productCode);
// Packs a braced GUID into out (PACKED_GUID_FIELD bytes); anything that is
// not a braced 38-to-42-character GUID packs to an empty text.
void PackGuid(LPCSTR productCode, char* out);
#define PACKED_GUID_FIELD 64
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
// The fixed file version of a file as its two words; 0 when it was read,
// 1 when not, both words then 0.
int GetFileVersionPair(LPCSTR path, DWORD* high, DWORD* low);
// 95/98 family: the low half of WININIT.INI's last-write time; 0 elsewhere
// and when the file cannot be opened.
DWORD WininitStamp(void);

// Start-up removal of the resume value an earlier restart left behind,
// whichever setup wrote it; nothing when productCode is empty.
void RemoveResumeEntry(void);

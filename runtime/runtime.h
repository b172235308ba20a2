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
// Start-up removal of the resume value an earlier restart left behind,
// whichever setup wrote it; nothing when productCode is empty.
void RemoveResumeEntry(void);

// Resuming the setup after a restart: the Run value and the service's own
// resume list.
#pragma once

#include "base/run_state.h"

// Under HKEY_LOCAL_MACHINE: where the service notes the products it resumes
// itself after a restart (values named by the packed product code), and the
// Run key that starts the setup again after a restart.
#define RUN_ONCE_ENTRIES_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\RunOnceEntries"
#define RUN_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"
#define RESUME_VALUE_NAME "VeskStubReboot"

// Registers the setup's own command line under the Run key, unless the
// service resumes the product itself.
void RegisterResume(LPCSTR productCode);
// Packs a braced GUID into out (PACKED_GUID_FIELD bytes); anything that is
// not a braced 38-to-42-character GUID packs to an empty text.
void PackGuid(LPCSTR productCode, char* out);
#define PACKED_GUID_FIELD 64
// Start-up removal of the resume value an earlier restart left behind,
// whichever setup wrote it; nothing when productCode is empty.
void RemoveResumeEntry(void);

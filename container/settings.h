// The settings of one run from the side INI file, and the configurable texts
// from the container or the side INI file.
#pragma once

#include "container/extract.h"

// Side-file mode: derives g_run.iniPath from g_run.ownPath and reads the
// side INI file into g_settings. Returns FALSE when the settings are
// incomplete (empty product code or version), after which the run ends
// silently. An own path without any '.' reads nothing and returns TRUE.
BOOL LoadSideSettings(void);
// The configured text, or the built-in text when that is empty.
void LoadMessageText(char* out, MessageId id, LPCSTR iniPath, LPCSTR iniKey, LPCSTR builtIn);
// After an extraction that did not end well, the text to report in out
// (TEXT_FIELD bytes): the CRC text when the data did not match, else the
// disk-space text; NULL, nothing to report, for a cancel.
LPCSTR ExtractionFailureText(char* out, ExtractResult result);

// Setup settings and the configurable texts.
#pragma once

#include "driver/run_state.h"

// Side-file mode: derives g_run.iniPath from g_run.ownPath and reads the
// side INI file into g_settings. Returns FALSE when the settings are
// incomplete (empty product code or version), after which the run ends
// silently. An own path without any '.' reads nothing and returns TRUE.
BOOL LoadSideSettings(void);
// A value of the side INI file's section (fallback when it is missing,
// empty for a NULL fallback), cut to fit cap bytes; its length, as
// GetPrivateProfileStringA gives it.
DWORD ReadSideText(LPCSTR key, LPCSTR fallback, char* out, UINT cap);
// A number of the side INI file's section, fallback when it is missing.
UINT ReadSideNumber(LPCSTR key, int fallback);
// The side INI file's runtime installer for the NT family (RuntimeNT) or
// the 95/98 family (Runtime9X).
void ReadSideRuntime(BOOL nt, char* out, UINT cap);
LONG ParseDecimal(LPCSTR text);
// "a.b.c.d" into the two version words; missing parts are 0.
void ParseVersionText(LPCSTR text, DWORD* high, DWORD* low);
// The configured text, or the built-in text when that is empty.
void LoadMessageText(char* out, MessageId id, LPCSTR iniPath, LPCSTR iniKey, LPCSTR builtIn);
// After a failed extraction: the CRC text when the data did not match,
// else the disk-space text.
void LoadExtractionErrorText(char* out);
// Places the three strings into textBlock, each terminated inside its 256
// bytes; later strings are cut first when they do not all fit.
void PackTextBlock(LPCSTR fontFace, LPCSTR productName, LPCSTR initLine);
// The string after text in a TEXT_BLOCK_FIELD-byte block whose last byte
// is 0, or "" when the block holds no more.
LPCSTR NextBlockString(LPCSTR block, LPCSTR text);
// The three strings of textBlock.
LPCSTR FontFace(void);
LPCSTR ProductName(void);
LPCSTR InitLine(void);

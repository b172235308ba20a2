// Reading the side INI file's section, and the number and version texts
// that it and the container share.
#include "base/side_ini.h"

#include "base/ini_keys.h"

LONG ParseDecimal(LPCSTR text) {
    while (*text == ' ' || *text == '\t') ++text;
    BOOL negative = *text == '-';
    if (negative) ++text;
    DWORD value = 0;  // unsigned, so that overflow wraps as 32-bit arithmetic
    while (*text >= '0' && *text <= '9') value = value * 10 + (DWORD)(*text++ - '0');
    return (LONG)(negative ? 0u - value : value);
}

void ParseVersionText(LPCSTR text, DWORD* high, DWORD* low) {
    DWORD parts[4];
    for (int i = 0; i < 4; ++i) {
        parts[i] = (DWORD)ParseDecimal(text);
        while (*text && *text != '.') ++text;
        if (*text == '.') ++text;
    }
    *high = (parts[0] << 16) | parts[1];
    *low = (parts[2] << 16) | parts[3];
}

DWORD ReadSideText(LPCSTR key, LPCSTR fallback, char* out, UINT cap) {
    return GetPrivateProfileStringA(INI_SECTION, key, fallback, out, cap, g_run.iniPath);
}

UINT ReadSideNumber(LPCSTR key, int fallback) {
    return GetPrivateProfileIntA(INI_SECTION, key, fallback, g_run.iniPath);
}

void ReadSideRuntime(BOOL nt, char* out, UINT cap) {
    ReadSideText(nt ? INI_KEY_RUNTIME_NT : INI_KEY_RUNTIME_9X, NULL, out, cap);
}


// Reading the side INI file's section.
#include "base/side_ini.h"

#include "format/ini_keys.h"

DWORD ReadSideText(LPCSTR key, LPCSTR fallback, char* out, UINT cap) {
    return GetPrivateProfileStringA(INI_SECTION, key, fallback, out, cap, g_run.iniPath);
}

UINT ReadSideNumber(LPCSTR key, int fallback) {
    return GetPrivateProfileIntA(INI_SECTION, key, fallback, g_run.iniPath);
}

DWORD ReadSideRuntime(BOOL nt, char* out, UINT cap) {
    return ReadSideText(nt ? INI_KEY_RUNTIME_NT : INI_KEY_RUNTIME_9X, NULL, out, cap);
}


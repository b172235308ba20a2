// The Run value that starts the setup again after a restart, and its removal
// by the next run. Registered from wherever the session's end is noticed:
// the splash as it handles the end, the child runner's wait, the restart.
#include "base/resume_entry.h"

#include "base/command_line.h"
#include "base/text.h"
#include "format/text_rules.h"

// Input position -> output position of the packed product code; -1 drops the
// character (braces, hyphens and the spare positions after the GUID).
static const signed char kPackedPosition[42] = {
    -1,                                   // {
    7, 6, 5, 4, 3, 2, 1, 0,               // first group, reversed
    -1,                                   // -
    11, 10, 9, 8,                         // second group, reversed
    -1,                                   // -
    15, 14, 13, 12,                       // third group, reversed
    -1,                                   // -
    17, 16, 19, 18,                       // two bytes, digits swapped
    -1,                                   // -
    21, 20, 23, 22, 25, 24, 27, 26, 29, 28, 31, 30,  // six bytes, digits swapped
    -1, -1, -1, -1, -1,                   // } and the spare positions
};

// Windows runs Run entries of up to 260 characters: room to spare.
#define RESUME_COMMAND_BUFFER 1024u
#define GUID_TEXT_MAX 42

void PackGuid(LPCSTR productCode, char* out) {
    out[0] = 0;
    // Anything else would leave output positions unwritten.
    if (!IsPackableGuid(productCode)) return;
    UINT stored = 0;
    for (UINT i = 0; i < GUID_TEXT_MAX && productCode[i]; ++i) {
        if (kPackedPosition[i] < 0) continue;
        out[kPackedPosition[i]] = productCode[i];
        ++stored;
    }
    out[stored] = 0;
}

// The service resumes the product itself when it holds more than one byte
// under the packed product code.
static BOOL ServiceResumesProduct(LPCSTR productCode) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RUN_ONCE_ENTRIES_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return FALSE;
    char packed[PACKED_GUID_FIELD];
    PackGuid(productCode, packed);
    DWORD size = 1024;
    LONG status = RegQueryValueExA(key, packed, NULL, NULL, NULL, &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && size > 1;
}

// The command line that starts this setup again: the executable's quoted
// full path, read at start-up, and the arguments as they were given.
// Windows starts Run entries from another folder, and an unquoted path with
// blanks names another program. FALSE when it does not fit: a cut line
// would start the setup with other arguments.
static BOOL ResumeCommand(char* buffer, UINT cap) {
    buffer[0] = 0;
    return AppendText(buffer, cap, "\"") && AppendText(buffer, cap, g_run.ownPath) &&
           AppendText(buffer, cap, "\"") && AppendText(buffer, cap, SkipProgramPart(GetCommandLineA()));
}

void RegisterResume(LPCSTR productCode) {
    char command[RESUME_COMMAND_BUFFER];
    if (!ResumeCommand(command, sizeof command) || ServiceResumesProduct(productCode)) return;
    static char noClass[] = "";
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, RUN_KEY, 0, noClass, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, NULL, &key, NULL) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, RESUME_VALUE_NAME, 0, REG_SZ, (const BYTE*)command, (DWORD)lstrlenA(command) + 1);
    RegCloseKey(key);
}

void RemoveResumeEntry(void) {
    if (g_settings.productCode[0] == 0) return;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RUN_KEY, 0, KEY_READ | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueA(key, RESUME_VALUE_NAME);
    RegCloseKey(key);
}


// The runtime step: the installed Windows Installer runtime against the one
// the product needs and, when it is older and the setup carries an installer
// for this platform family, that installer run silently. A restart it asks
// for goes to the restart question.
#include "format/ini_keys.h"
#include "base/side_ini.h"
#include "base/temp_files.h"
#include "base/text.h"
#include "container/container.h"
#include "container/extract.h"
#include "container/settings.h"
#include "runtime/child.h"
#include "runtime/installer.h"
#include "runtime/runtime.h"
#include "ui/ui.h"

#define ENVIRONMENT_KEY "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment"
#define ENVIRONMENT_NAME_BUFFER 1024u
#define WININIT_FILE_NAME "WININIT.INI"
#define RUNTIME_COMMAND_BUFFER 128u
#define RUNTIME_FILE_NAME "\\runtime.exe"

// Only the root block of version data is read: 1536 bytes hold it.
#define VERSION_DATA_SIZE 1536u
#define FIXED_FILE_INFO_SIGNATURE 0xFEEF04BDu

static BOOL ReadFixedVersion(HMODULE library, LPCSTR path, DWORD* high, DWORD* low) {
    GetFileVersionInfoProc getInfo = ENTRY_POINT(GetFileVersionInfoProc, library, VERSION_GET_FILE_VERSION_INFO);
    VerQueryValueProc query = ENTRY_POINT(VerQueryValueProc, library, VERSION_QUERY_VALUE);
    if (!getInfo || !query) return FALSE;
    if (!getInfo(path, 0, VERSION_DATA_SIZE, g_run.workBuffer)) return FALSE;
    LPVOID value = NULL;
    UINT length = 0;
    if (!query(g_run.workBuffer, "\\", &value, &length)) return FALSE;
    // Data that is not a whole fixed version record reads as no version.
    const VS_FIXEDFILEINFO* fixed = (const VS_FIXEDFILEINFO*)value;
    if (!fixed || length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != FIXED_FILE_INFO_SIGNATURE) return FALSE;
    *high = fixed->dwFileVersionMS;
    *low = fixed->dwFileVersionLS;
    return TRUE;
}

BOOL GetFileVersionPair(LPCSTR path, DWORD* high, DWORD* low) {
    *high = 0;
    *low = 0;
    HMODULE library = LoadSystemLibrary(VERSION_LIBRARY);
    if (!library) return FALSE;
    BOOL result = ReadFixedVersion(library, path, high, low);
    FreeLibrary(library);
    return result;
}

// VER_PLATFORM_WIN32_NT or another id (the 95/98 family); 0 when the
// platform does not say.
static DWORD PlatformId(void) {
    OSVERSIONINFOA info;
    FillBytes(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    return info.dwPlatformId;
}

DWORD WininitStamp(void) {
    if (PlatformId() != VER_PLATFORM_WIN32_WINDOWS) return 0;
    char path[PATH_BUFFER];
    if (!SystemFilePath(path, WININIT_FILE_NAME)) return 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return 0;
    FILETIME written;
    FillBytes(&written, 0, sizeof written);
    // A time that cannot be read counts as 0, as a missing file does.
    if (!GetFileTime(file, NULL, NULL, &written)) written.dwLowDateTime = 0;
    CloseHandle(file);
    return written.dwLowDateTime;
}

// The build decides after the major and minor numbers; the revision never does.
static BOOL IsOlderThanRequired(DWORD high, DWORD low) {
    if (high != g_settings.requiredRuntimeMS) return high < g_settings.requiredRuntimeMS;
    return HIWORD(low) < HIWORD(g_settings.requiredRuntimeLS);
}

// Only an administrator may install the runtime on the NT family: anyone
// else is told so and the run ends with exit code 2.
static void RequireAdministrator(void) {
    if (RunsAsAdministrator()) return;
    char text[TEXT_FIELD];
    LoadMessageText(text, MSG_ADMIN_ERROR, g_run.iniPath, INI_KEY_ADMIN_ERROR, BUILTIN_ADMIN_ERROR);
    ShowProductMessage(text, MB_OK);
    EndRun(EXIT_CODE_NO_ADMIN, NULL);
}

// The installer's path in a folder made fresh for the run; both empty when
// that fails or the path would not fit. On the NT family the run has passed
// the administrator check by now: the folder is made the administrators'.
static void NameRuntimeFile(char* folder, char* path, BOOL nt) {
    path[0] = 0;
    if (!MakePrivateFolder(folder, nt) || !CopyText(path, PATH_BUFFER, folder) ||
        !AppendText(path, PATH_BUFFER, RUNTIME_FILE_NAME))
        path[0] = 0;
}

// A failure (reported with failureText) or the user's cancel: the runtime
// file goes and the run ends with exit code 1, never the 0 of an installation.
static void AbandonRuntimeFile(LPCSTR path, LPCSTR failureText) {
    DeleteFileA(path);
    EndRun(EXIT_CODE_FAILED, failureText);
}

// Embedded mode: writes this family's installer to a fresh temporary program
// and leaves the container at the product file. Returns a handle that keeps
// the program from being changed or deleted by anyone until it has run.
static HANDLE ExtractRuntime(char* folder, char* path, BOOL nt) {
    NameRuntimeFile(folder, path, nt);
    HANDLE writer = CreateNewFile(path);
    if (writer == INVALID_HANDLE_VALUE) AbandonRuntimeFile(path, CORRUPT_TEXT);
    if (nt) SkipPayloads(g_settings.runtime9XSize);
    HANDLE hold;
    ExtractResult result = ExtractHeldFile(writer, path, nt ? g_settings.runtimeNTSize : g_settings.runtime9XSize,
                                           nt ? DIGEST_RUNTIME_NT : DIGEST_RUNTIME_9X, &hold);
    // A cancelled extraction leaves an installer cut short: it never runs either.
    if (result != EXTRACTED) {
        char text[TEXT_FIELD];
        AbandonRuntimeFile(path, ExtractionFailureText(text, result));
    }
    if (!nt) SkipPayloads(g_settings.runtimeNTSize);
    return hold;
}

// One pass over the system environment: the first expandable value with no
// text in it is made an empty plain text, which some runtime installers
// need. TRUE when one was fixed, so that the key is walked again from the
// start; every fixed value is plain text then, so the passes end.
static BOOL FixOneEnvironmentValue(void) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ENVIRONMENT_KEY, 0, KEY_READ | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return FALSE;
    static const BYTE empty[1] = {0};
    char name[ENVIRONMENT_NAME_BUFFER];
    BOOL fixed = FALSE;
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = ENVIRONMENT_NAME_BUFFER;
        DWORD type = 0;
        DWORD size = 0;
        if (RegEnumValueA(key, index, name, &nameLength, NULL, &type, NULL, &size) != ERROR_SUCCESS) break;
        if (type != REG_EXPAND_SZ || size > 1) continue;
        fixed = RegDeleteValueA(key, name) == ERROR_SUCCESS &&
                RegSetValueExA(key, name, 0, REG_SZ, empty, sizeof empty) == ERROR_SUCCESS;
        break;
    }
    RegCloseKey(key);
    return fixed;
}

// The installer's command into command (RUNTIME_COMMAND_BUFFER bytes). TRUE
// when the side INI file gives one of its own, whose exit codes the builder
// has taken charge of: no restart is offered then.
static BOOL ReadRuntimeCommand(char* command) {
    if (g_run.embedded) {
        CopyText(command, RUNTIME_COMMAND_BUFFER, RUNTIME_DEFAULT_COMMAND);
        return FALSE;
    }
    ReadSideText(INI_KEY_RUNTIME_CMDLINE, RUNTIME_DEFAULT_COMMAND, command, RUNTIME_COMMAND_BUFFER);
    return lstrcmpiA(command, RUNTIME_DEFAULT_COMMAND) != 0;
}

void RuntimeStep(void) {
    BOOL nt = PlatformId() == VER_PLATFORM_WIN32_NT;
    char path[PATH_BUFFER];
    if (!SystemFilePath(path, MSI_LIBRARY)) path[0] = 0;
    DWORD high;
    DWORD low;
    GetFileVersionPair(path, &high, &low);
    LONG carried = nt ? g_settings.runtimeNTSize : g_settings.runtime9XSize;
    if (!IsOlderThanRequired(high, low) || carried <= 0) {
        // Summed unsigned: the container's sizes are 32-bit words.
        if (g_run.embedded) SkipPayloads((LONG)((DWORD)g_settings.runtime9XSize + (DWORD)g_settings.runtimeNTSize));
        return;
    }
    if (nt) RequireAdministrator();
    HANDLE hold = INVALID_HANDLE_VALUE;
    char folder[PATH_BUFFER];
    if (g_run.embedded)
        hold = ExtractRuntime(folder, path, nt);
    else if (ReadSideRuntime(nt, path, PATH_BUFFER) >= PATH_BUFFER - 1)
        EndRun(EXIT_CODE_FAILED, CORRUPT_TEXT);  // as long as a cut one: never run
    if (nt) {
        while (FixOneEnvironmentValue()) {
        }
    }
    char command[RUNTIME_COMMAND_BUFFER];
    BOOL custom = ReadRuntimeCommand(command);
    DWORD stamp = WininitStamp();
    // An installer that could not be started asks for no restart.
    DWORD exitCode = RunAndWait(path, command, folder, TRUE, g_settings.productCode, 0);
    // Any code but 0 asks for a restart, an error or a wait cut short (259)
    // included; so does WININIT.INI changed by an installer that ended well.
    BOOL restart = exitCode != 0 || WininitStamp() != stamp;
    if (g_run.embedded) {
        // Its folder stays: on the NT family it is the temporary folder of
        // what the run starts next (MakePrivateFolder).
        CloseHandle(hold);
        DeleteFileA(path);
    }
    PumpMessages();
    Sleep(500);
    PumpMessages();
    if (restart && !custom) RestartQuestion();
}

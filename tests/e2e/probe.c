/* A small Windows helper for the end-to-end tests, run under Wine. Wine's own
 * exit status is the process exit code modulo 256, and the registry and the
 * installer database are best asked from inside the prefix, through the same
 * view the setup has (the probe is built for the stub's architecture):
 *   probe run TIMEOUT_MS     starts the command line in VESK_E2E_CMDLINE and
 *                            prints EXIT=<full exit code>, or TIMEOUT after
 *                            ending a child that outlived the time-out; with
 *                            VESK_E2E_STATION set, on the desktop "Default" of
 *                            a window station of that name made for it, which
 *                            no one can see, as a service's
 *   probe regget KEY VALUE [32]
 *                            prints VALUE=<text> of HKLM\KEY, or MISSING=<error>;
 *                            with 32, from the 32-bit view (where a 32-bit
 *                            package writes, even when a 64-bit engine runs it)
 *   probe version CODE       prints VERSION=<version string> of an installed
 *                            product, or MISSING=<error>
 *   probe temp               prints VALUE=<the temporary folder>
 *   probe fileversion PATH NAME
 *                            prints FIXED=<a.b.c.d> of the file's version
 *                            resource, then VALUE=<text> of its US English
 *                            Unicode string NAME, or MISSING=<error>
 */
#include <windows.h>
#include <msi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* A window station of its own with a desktop "Default" in it, for the child
 * to be started on ("station\\Default" into desktop, 300 bytes). */
static BOOL make_station(const char *name, char *desktop)
{
    HWINSTA own = GetProcessWindowStation();
    HWINSTA station = CreateWindowStationA(name, 0, WINSTA_ALL_ACCESS, NULL);
    HDESK made;
    /* A desktop is made in the window station of the calling process. */
    if (!station || !SetProcessWindowStation(station))
        return FALSE;
    made = CreateDesktopA("Default", NULL, NULL, 0, GENERIC_ALL, NULL);
    SetProcessWindowStation(own);
    snprintf(desktop, 300, "%s\\Default", name);
    return made != NULL;
}

static int run(DWORD timeoutMs)
{
    static char commandLine[32768];
    char station[64], desktop[300];
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    DWORD code = 0;
    if (!GetEnvironmentVariableA("VESK_E2E_CMDLINE", commandLine, sizeof commandLine)) {
        printf("START-FAILED=no VESK_E2E_CMDLINE\n");
        return 2;
    }
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (GetEnvironmentVariableA("VESK_E2E_STATION", station, sizeof station)) {
        if (!make_station(station, desktop)) {
            printf("START-FAILED=window station %lu\n", GetLastError());
            return 2;
        }
        startup.lpDesktop = desktop;
    }
    if (!CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        printf("START-FAILED=%lu\n", GetLastError());
        return 2;
    }
    if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        printf("TIMEOUT\n");
        return 3;
    }
    GetExitCodeProcess(process.hProcess, &code);
    printf("EXIT=%lu\n", code);
    return 0;
}

static int regget(const char *key, const char *name, REGSAM view)
{
    HKEY handle;
    char data[4096];
    DWORD size = sizeof data - 1, type = 0;
    LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | view, &handle);
    if (result == ERROR_SUCCESS) {
        result = RegQueryValueExA(handle, name, NULL, &type, (BYTE *)data, &size);
        RegCloseKey(handle);
    }
    if (result != ERROR_SUCCESS) {
        printf("MISSING=%ld\n", result);
        return 1;
    }
    data[size] = 0;
    printf("VALUE=%s\n", data);
    return 0;
}

static int version(const char *productCode)
{
    char text[256];
    DWORD size = sizeof text;
    UINT result = MsiGetProductInfoA(productCode, INSTALLPROPERTY_VERSIONSTRING, text, &size);
    if (result != ERROR_SUCCESS) {
        printf("MISSING=%u\n", result);
        return 1;
    }
    printf("VERSION=%s\n", text);
    return 0;
}

static int temp(void)
{
    char folder[MAX_PATH + 1];
    if (!GetTempPathA(sizeof folder, folder)) {
        printf("MISSING=%lu\n", GetLastError());
        return 1;
    }
    printf("VALUE=%s\n", folder);
    return 0;
}

static int fileversion(const char *path, const char *name)
{
    static char data[65536];
    char query[128];
    VS_FIXEDFILEINFO *fixed = NULL;
    char *text = NULL;
    UINT length = 0;
    DWORD size = GetFileVersionInfoSizeA(path, NULL);
    if (size == 0 || size > sizeof data || !GetFileVersionInfoA(path, 0, size, data)) {
        printf("MISSING=%lu\n", GetLastError());
        return 1;
    }
    if (!VerQueryValueA(data, "\\", (void **)&fixed, &length) || length < sizeof *fixed) {
        printf("MISSING=no fixed file info\n");
        return 1;
    }
    printf("FIXED=%lu.%lu.%lu.%lu\n", fixed->dwFileVersionMS >> 16, fixed->dwFileVersionMS & 0xFFFF,
           fixed->dwFileVersionLS >> 16, fixed->dwFileVersionLS & 0xFFFF);
    snprintf(query, sizeof query, "\\StringFileInfo\\040904B0\\%s", name);
    if (!VerQueryValueA(data, query, (void **)&text, &length) || length == 0) {
        printf("MISSING=no string %s\n", name);
        return 1;
    }
    printf("VALUE=%s\n", text);
    return 0;
}

int main(int argc, char **argv)
{
    int code = 64;
    if (argc == 3 && strcmp(argv[1], "run") == 0)
        code = run((DWORD)strtoul(argv[2], NULL, 10));
    else if (argc == 4 && strcmp(argv[1], "regget") == 0)
        code = regget(argv[2], argv[3], 0);
    else if (argc == 5 && strcmp(argv[1], "regget") == 0 && strcmp(argv[4], "32") == 0)
        code = regget(argv[2], argv[3], KEY_WOW64_32KEY);
    else if (argc == 3 && strcmp(argv[1], "version") == 0)
        code = version(argv[2]);
    else if (argc == 2 && strcmp(argv[1], "temp") == 0)
        code = temp();
    else if (argc == 4 && strcmp(argv[1], "fileversion") == 0)
        code = fileversion(argv[2], argv[3]);
    else
        printf("usage: probe run TIMEOUT_MS | regget KEY VALUE [32] | version CODE | temp | fileversion PATH NAME\n");
    fflush(stdout);
    return code;
}

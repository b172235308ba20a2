/* A DLL planted beside a setup under the name of a system library
 * (MARKER_NAME): when anything loads it, it appends "name|program" to
 * C:\vesk-markers\loaded.txt. Only KERNEL32, no C runtime, so that it loads
 * wherever it is found. */
#include <windows.h>

BOOL WINAPI MarkerMain(HINSTANCE dll, DWORD reason, LPVOID reserved)
{
    (void)dll;
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char line[MAX_PATH + 64] = MARKER_NAME "|";
    DWORD length = lstrlenA(line);
    length += GetModuleFileNameA(NULL, line + length, MAX_PATH);
    lstrcpyA(line + length, "\r\n");
    HANDLE log = CreateFileA("C:\\vesk-markers\\loaded.txt", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (log != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(log, line, length + 2, &written, NULL);
        CloseHandle(log);
    }
    return TRUE;
}

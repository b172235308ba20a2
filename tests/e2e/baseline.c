/* A program with the setup's own imports that does nothing: whatever planted
 * DLL it loads, Wine's libraries load before any program code runs. */
#include <windows.h>
#include <shellapi.h>

void WINAPI BaselineEntry(void)
{
    volatile int never = 0;
    if (never) {  /* imported, never called */
        GetDesktopWindow();
        GetStockObject(WHITE_BRUSH);
        RegCloseKey(HKEY_LOCAL_MACHINE);
        ShellExecuteExA(NULL);
    }
    ExitProcess(0);
}

// Development scaffold: weak stand-ins that fail loudly until the real
#pragma GCC diagnostic ignored "-Wunused-parameter"
// definitions land. Removed once every function is implemented.
#include <stdexcept>
#include <string>
#include "win32/api.h"
#include "driver/run.h"
#include "driver/settings.h"
#include "driver/child.h"
#include "driver/text.h"
#include "container/container.h"
#include "container/extract.h"
#include "ui/ui.h"
#include "runtime/runtime.h"
#include "product/product.h"
[[noreturn]] static void Missing(const char* name) { throw std::logic_error(std::string("not implemented yet: ") + name); }
extern "C" {
__attribute__((weak)) HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) { Missing("GetModuleHandleA"); }
__attribute__((weak)) DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) { Missing("GetModuleFileNameA"); }
__attribute__((weak)) LPSTR WINAPI GetCommandLineA(void) { Missing("GetCommandLineA"); }
__attribute__((weak)) UINT WINAPI SetErrorMode(UINT uMode) { Missing("SetErrorMode"); }
__attribute__((weak)) void WINAPI ExitProcess(UINT uExitCode) { Missing("ExitProcess"); }
__attribute__((weak)) HANDLE WINAPI GetCurrentProcess(void) { Missing("GetCurrentProcess"); }
__attribute__((weak)) HFILE WINAPI _lopen(LPCSTR lpPathName, int iReadWrite) { Missing("_lopen"); }
__attribute__((weak)) HFILE WINAPI _lcreat(LPCSTR lpPathName, int iAttribute) { Missing("_lcreat"); }
__attribute__((weak)) UINT WINAPI _lread(HFILE hFile, LPVOID lpBuffer, UINT uBytes) { Missing("_lread"); }
__attribute__((weak)) UINT WINAPI _lwrite(HFILE hFile, LPCSTR lpBuffer, UINT uBytes) { Missing("_lwrite"); }
__attribute__((weak)) LONG WINAPI _llseek(HFILE hFile, LONG lOffset, int iOrigin) { Missing("_llseek"); }
__attribute__((weak)) HFILE WINAPI _lclose(HFILE hFile) { Missing("_lclose"); }
__attribute__((weak)) HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) { Missing("CreateFileA"); }
__attribute__((weak)) BOOL WINAPI GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime, LPFILETIME lpLastWriteTime) { Missing("GetFileTime"); }
__attribute__((weak)) BOOL WINAPI CloseHandle(HANDLE hObject) { Missing("CloseHandle"); }
__attribute__((weak)) BOOL WINAPI DeleteFileA(LPCSTR lpFileName) { Missing("DeleteFileA"); }
__attribute__((weak)) BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) { Missing("CreateDirectoryA"); }
__attribute__((weak)) DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) { Missing("GetTempPathA"); }
__attribute__((weak)) UINT WINAPI GetTempFileNameA(LPCSTR lpPathName, LPCSTR lpPrefixString, UINT uUnique, LPSTR lpTempFileName) { Missing("GetTempFileNameA"); }
__attribute__((weak)) UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) { Missing("GetSystemDirectoryA"); }
__attribute__((weak)) BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) { Missing("GetVersionExA"); }
__attribute__((weak)) DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR lpSrc, LPSTR lpDst, DWORD nSize) { Missing("ExpandEnvironmentStringsA"); }
__attribute__((weak)) HGLOBAL WINAPI GlobalAlloc(UINT uFlags, size_t dwBytes) { Missing("GlobalAlloc"); }
__attribute__((weak)) LPVOID WINAPI GlobalLock(HGLOBAL hMem) { Missing("GlobalLock"); }
__attribute__((weak)) BOOL WINAPI GlobalUnlock(HGLOBAL hMem) { Missing("GlobalUnlock"); }
__attribute__((weak)) HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) { Missing("GlobalFree"); }
__attribute__((weak)) HRSRC WINAPI FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType) { Missing("FindResourceA"); }
__attribute__((weak)) DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo) { Missing("SizeofResource"); }
__attribute__((weak)) HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo) { Missing("LoadResource"); }
__attribute__((weak)) LPVOID WINAPI LockResource(HGLOBAL hResData) { Missing("LockResource"); }
__attribute__((weak)) BOOL WINAPI FreeResource(HGLOBAL hResData) { Missing("FreeResource"); }
__attribute__((weak)) DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault, LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) { Missing("GetPrivateProfileStringA"); }
__attribute__((weak)) UINT WINAPI GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault, LPCSTR lpFileName) { Missing("GetPrivateProfileIntA"); }
__attribute__((weak)) HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) { Missing("LoadLibraryA"); }
__attribute__((weak)) FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) { Missing("GetProcAddress"); }
__attribute__((weak)) BOOL WINAPI FreeLibrary(HMODULE hLibModule) { Missing("FreeLibrary"); }
__attribute__((weak)) void WINAPI Sleep(DWORD dwMilliseconds) { Missing("Sleep"); }
__attribute__((weak)) DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) { Missing("WaitForSingleObject"); }
__attribute__((weak)) BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) { Missing("GetExitCodeProcess"); }
__attribute__((weak)) int WINAPI lstrlenA(LPCSTR lpString) { Missing("lstrlenA"); }
__attribute__((weak)) int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2) { Missing("lstrcmpA"); }
__attribute__((weak)) int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2) { Missing("lstrcmpiA"); }
__attribute__((weak)) LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength) { Missing("lstrcpynA"); }
__attribute__((weak)) int WINAPI MulDiv(int nNumber, int nNumerator, int nDenominator) { Missing("MulDiv"); }
__attribute__((weak)) int WINAPIV wsprintfA(LPSTR buffer, LPCSTR format, ...) { Missing("wsprintfA"); }
__attribute__((weak)) LPSTR WINAPI CharNextA(LPCSTR lpsz) { Missing("CharNextA"); }
__attribute__((weak)) int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) { Missing("MessageBoxA"); }
__attribute__((weak)) BOOL WINAPI ExitWindowsEx(UINT uFlags, DWORD dwReason) { Missing("ExitWindowsEx"); }
__attribute__((weak)) ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass) { Missing("RegisterClassA"); }
__attribute__((weak)) HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam) { Missing("CreateWindowExA"); }
__attribute__((weak)) BOOL WINAPI DestroyWindow(HWND hWnd) { Missing("DestroyWindow"); }
__attribute__((weak)) BOOL WINAPI IsWindow(HWND hWnd) { Missing("IsWindow"); }
__attribute__((weak)) BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) { Missing("ShowWindow"); }
__attribute__((weak)) BOOL WINAPI UpdateWindow(HWND hWnd) { Missing("UpdateWindow"); }
__attribute__((weak)) BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags) { Missing("SetWindowPos"); }
__attribute__((weak)) BOOL WINAPI InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase) { Missing("InvalidateRect"); }
__attribute__((weak)) HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) { Missing("BeginPaint"); }
__attribute__((weak)) BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint) { Missing("EndPaint"); }
__attribute__((weak)) HDC WINAPI GetDC(HWND hWnd) { Missing("GetDC"); }
__attribute__((weak)) int WINAPI ReleaseDC(HWND hWnd, HDC hDC) { Missing("ReleaseDC"); }
__attribute__((weak)) LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) { Missing("DefWindowProcA"); }
__attribute__((weak)) void WINAPI PostQuitMessage(int nExitCode) { Missing("PostQuitMessage"); }
__attribute__((weak)) UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) { Missing("SetTimer"); }
__attribute__((weak)) BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) { Missing("PeekMessageA"); }
__attribute__((weak)) BOOL WINAPI TranslateMessage(const MSG* lpMsg) { Missing("TranslateMessage"); }
__attribute__((weak)) LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) { Missing("DispatchMessageA"); }
__attribute__((weak)) LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) { Missing("SendMessageA"); }
__attribute__((weak)) BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) { Missing("PostMessageA"); }
__attribute__((weak)) HWND WINAPI CreateDialogParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc, LPARAM dwInitParam) { Missing("CreateDialogParamA"); }
__attribute__((weak)) HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) { Missing("GetDlgItem"); }
__attribute__((weak)) BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) { Missing("SetWindowTextA"); }
__attribute__((weak)) HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) { Missing("LoadIconA"); }
__attribute__((weak)) HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName) { Missing("LoadCursorA"); }
__attribute__((weak)) int WINAPI GetDeviceCaps(HDC hdc, int index) { Missing("GetDeviceCaps"); }
__attribute__((weak)) HGDIOBJ WINAPI GetStockObject(int i) { Missing("GetStockObject"); }
__attribute__((weak)) HPALETTE WINAPI CreatePalette(const LOGPALETTE* plpal) { Missing("CreatePalette"); }
__attribute__((weak)) HPALETTE WINAPI SelectPalette(HDC hdc, HPALETTE hPal, BOOL bForceBkgd) { Missing("SelectPalette"); }
__attribute__((weak)) UINT WINAPI RealizePalette(HDC hdc) { Missing("RealizePalette"); }
__attribute__((weak)) BOOL WINAPI DeleteObject(HGDIOBJ ho) { Missing("DeleteObject"); }
__attribute__((weak)) HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) { Missing("SelectObject"); }
__attribute__((weak)) HFONT WINAPI CreateFontA(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight, DWORD bItalic, DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet, DWORD iOutPrecision, DWORD iClipPrecision, DWORD iQuality, DWORD iPitchAndFamily, LPCSTR pszFaceName) { Missing("CreateFontA"); }
__attribute__((weak)) int WINAPI SetBkMode(HDC hdc, int mode) { Missing("SetBkMode"); }
__attribute__((weak)) COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) { Missing("SetTextColor"); }
__attribute__((weak)) BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c) { Missing("TextOutA"); }
__attribute__((weak)) BOOL WINAPI GetTextExtentPointA(HDC hdc, LPCSTR lpString, int c, LPSIZE lpsz) { Missing("GetTextExtentPointA"); }
__attribute__((weak)) int WINAPI StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc, int ySrc, int SrcWidth, int SrcHeight, const void* lpBits, const BITMAPINFO* lpbmi, UINT iUsage, DWORD rop) { Missing("StretchDIBits"); }
__attribute__((weak)) LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) { Missing("RegOpenKeyExA"); }
__attribute__((weak)) LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions, REGSAM samDesired, const LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult, LPDWORD lpdwDisposition) { Missing("RegCreateKeyExA"); }
__attribute__((weak)) LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) { Missing("RegQueryValueExA"); }
__attribute__((weak)) LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData, DWORD cbData) { Missing("RegSetValueExA"); }
__attribute__((weak)) LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) { Missing("RegDeleteValueA"); }
__attribute__((weak)) LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) { Missing("RegEnumValueA"); }
__attribute__((weak)) LSTATUS WINAPI RegCloseKey(HKEY hKey) { Missing("RegCloseKey"); }
__attribute__((weak)) SC_HANDLE WINAPI OpenSCManagerA(LPCSTR lpMachineName, LPCSTR lpDatabaseName, DWORD dwDesiredAccess) { Missing("OpenSCManagerA"); }
__attribute__((weak)) BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject) { Missing("CloseServiceHandle"); }
__attribute__((weak)) BOOL WINAPI OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle) { Missing("OpenProcessToken"); }
__attribute__((weak)) BOOL WINAPI LookupPrivilegeValueA(LPCSTR lpSystemName, LPCSTR lpName, PLUID lpLuid) { Missing("LookupPrivilegeValueA"); }
__attribute__((weak)) BOOL WINAPI AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges, PTOKEN_PRIVILEGES NewState, DWORD BufferLength, PTOKEN_PRIVILEGES PreviousState, LPDWORD ReturnLength) { Missing("AdjustTokenPrivileges"); }
__attribute__((weak)) BOOL WINAPI ShellExecuteExA(SHELLEXECUTEINFOA* pExecInfo) { Missing("ShellExecuteExA"); }
__attribute__((weak)) BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce) { Missing("InitCommonControlsEx"); }
}
__attribute__((weak)) void WINAPI StubEntry(void) { Missing("StubEntry"); }
__attribute__((weak)) UINT RunSetup(void) { Missing("RunSetup"); }
__attribute__((weak)) LPCSTR FindCommandTail(LPCSTR commandLine) { Missing("FindCommandTail"); }
__attribute__((weak)) BOOL LoadSideSettings(void) { Missing("LoadSideSettings"); }
__attribute__((weak)) LONG ParseDecimal(LPCSTR text) { Missing("ParseDecimal"); }
__attribute__((weak)) void ParseVersionText(LPCSTR text, DWORD* high, DWORD* low) { Missing("ParseVersionText"); }
__attribute__((weak)) void LoadMessageText(char* out, MessageId id, LPCSTR iniPath, LPCSTR iniKey, LPCSTR builtIn) { Missing("LoadMessageText"); }
__attribute__((weak)) LPCSTR FontFace(void) { Missing("FontFace"); }
__attribute__((weak)) LPCSTR ProductName(void) { Missing("ProductName"); }
__attribute__((weak)) LPCSTR InitLine(void) { Missing("InitLine"); }
__attribute__((weak)) DWORD RunAndWait(LPCSTR file, LPCSTR parameters, BOOL wait, LPCSTR productCode) { Missing("RunAndWait"); }
__attribute__((weak)) BOOL CopyText(char* dst, UINT cap, LPCSTR src) { Missing("CopyText"); }
__attribute__((weak)) BOOL AppendText(char* dst, UINT cap, LPCSTR src) { Missing("AppendText"); }
__attribute__((weak)) UINT BoundedLength(LPCSTR text, UINT cap) { Missing("BoundedLength"); }
__attribute__((weak)) void FillBytes(void* dst, BYTE value, UINT count) { Missing("FillBytes"); }
__attribute__((weak)) void CopyBytes(void* dst, const void* src, UINT count) { Missing("CopyBytes"); }
__attribute__((weak)) WORD LoadWord(const BYTE* p) { Missing("LoadWord"); }
__attribute__((weak)) DWORD LoadDword(const BYTE* p) { Missing("LoadDword"); }
__attribute__((weak)) int FindPayloadSection(void) { Missing("FindPayloadSection"); }
__attribute__((weak)) void ReadContainerHeader(void) { Missing("ReadContainerHeader"); }
__attribute__((weak)) void ReadStoredText(char* out, MessageId id) { Missing("ReadStoredText"); }
__attribute__((weak)) BOOL CheckFileSize(void) { Missing("CheckFileSize"); }
__attribute__((weak)) void SkipPayloads(LONG storedSize) { Missing("SkipPayloads"); }
__attribute__((weak)) BOOL BuildCrcTable(void) { Missing("BuildCrcTable"); }
__attribute__((weak)) void FreeCrcTable(void) { Missing("FreeCrcTable"); }
__attribute__((weak)) DWORD WINAPI UpdateCRC(const BYTE* data, DWORD length) { Missing("UpdateCRC"); }
__attribute__((weak)) int ExtractPayload(HFILE outFile, LONG storedSize) { Missing("ExtractPayload"); }
__attribute__((weak)) void PumpMessages(void) { Missing("PumpMessages"); }
__attribute__((weak)) void WaitSplashHold(void) { Missing("WaitSplashHold"); }
__attribute__((weak)) void ShowInstallError(LPCSTR text) { Missing("ShowInstallError"); }
__attribute__((weak)) int ShowProductMessage(LPCSTR text, UINT buttons) { Missing("ShowProductMessage"); }
__attribute__((weak)) void OpenProgressDialog(void) { Missing("OpenProgressDialog"); }
__attribute__((weak)) void SetProgressPosition(int position) { Missing("SetProgressPosition"); }
__attribute__((weak)) void CloseProgressDialog(void) { Missing("CloseProgressDialog"); }
__attribute__((weak)) INT_PTR CALLBACK ProgressDlg(HWND window, UINT message, WPARAM wParam, LPARAM lParam) { Missing("ProgressDlg"); }
__attribute__((weak)) void LoadSplashBitmap(void) { Missing("LoadSplashBitmap"); }
__attribute__((weak)) ATOM RegisterSplashClass(void) { Missing("RegisterSplashClass"); }
__attribute__((weak)) void CreateSplash(void) { Missing("CreateSplash"); }
__attribute__((weak)) void CreateSplashPalette(void) { Missing("CreateSplashPalette"); }
__attribute__((weak)) LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) { Missing("MainWndProc"); }
__attribute__((weak)) void SetSplashVisible(BOOL visible) { Missing("SetSplashVisible"); }
__attribute__((weak)) void CloseSplash(void) { Missing("CloseSplash"); }
__attribute__((weak)) void RuntimeStep(void) { Missing("RuntimeStep"); }
__attribute__((weak)) void RestartQuestion(void) { Missing("RestartQuestion"); }
__attribute__((weak)) void RegisterResume(LPCSTR productCode) { Missing("RegisterResume"); }
__attribute__((weak)) void PackGuid(LPCSTR productCode, char* out) { Missing("PackGuid"); }
__attribute__((weak)) void RemoveResumeEntry(void) { Missing("RemoveResumeEntry"); }

__attribute__((weak)) void PlaceProductFile(char* path) { Missing("PlaceProductFile"); }
__attribute__((weak)) UINT LaunchEngine(LPCSTR productPath) { Missing("LaunchEngine"); }
__attribute__((weak)) BOOL ComposeEngineCommand(LPCSTR commandTail, LPCSTR productPath, char* command, UINT cap) { Missing("ComposeEngineCommand"); }
__attribute__((weak)) void MakeTempFileName(char* out) { Missing("MakeTempFileName"); }
__attribute__((weak)) void CreatePathDirectories(char* path) { Missing("CreatePathDirectories"); }

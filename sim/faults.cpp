// The counting point of every platform call, and the one table of how each
// call fails on Windows.
#include "sim/faults.h"

#include <map>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <unordered_map>

#include "sim/sim.h"
#include "win32/api.h"

namespace sim::faults {
namespace {

// Error codes of the platform that only failing calls leave behind.
constexpr uint32_t kErrorSeek = 25;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorDiscarded = 157;
constexpr uint32_t kErrorProcNotFound = 127;
constexpr uint32_t kErrorDllInitFailed = 1114;
constexpr uint32_t kErrorNoSuchPrivilege = 1313;
constexpr uint32_t kErrorPrivilegeNotHeld = 1314;
constexpr uint32_t kErrorNoSystemResources = 1450;
constexpr uint32_t kErrorLogFileFull = 1502;
constexpr uint32_t kErrorResourceDataNotFound = 1812;
constexpr uint32_t kErrorNotEnoughQuota = 1816;
constexpr intptr_t kErrorInstallFailure = 1603;
constexpr intptr_t kErrorBadConfiguration = 1610;
constexpr intptr_t kClrInvalid = intptr_t(0xFFFFFFFFu);

// How a call fails: a result and an error code, a transfer cut short (the
// function cuts it), or the defaults of a file that cannot be read (the
// function gives them). Never: the call cannot fail.
enum class Way { Never, Returns, CutShort, Defaults };

struct Failure {
    const char* call;
    Way way;
    intptr_t result;  // returned when the call fails (Way::Returns)
    uint32_t error;   // left for GetLastError
    const char* note;  // how it fails, or why it cannot
};

constexpr intptr_t kNull = 0;
constexpr intptr_t kFalse = 0;
constexpr intptr_t kMinusOne = -1;  // HFILE_ERROR, INVALID_HANDLE_VALUE

// clang-format off
const Failure kFailures[] = {
    // kernel32: files
    {"_lopen", Way::Returns, kMinusOne, ERROR_ACCESS_DENIED, "HFILE_ERROR: access denied"},
    {"_lcreat", Way::Returns, kMinusOne, ERROR_ACCESS_DENIED, "HFILE_ERROR: access denied"},
    {"_lread", Way::CutShort, 0, 0, "a short read: half the bytes asked for"},
    {"_lwrite", Way::CutShort, 0, kErrorDiskFull, "a short write: half the bytes, the disk full"},
    {"_llseek", Way::Returns, kMinusOne, kErrorSeek, "HFILE_ERROR: seek error"},
    {"_lclose", Way::Never, 0, 0, "a valid handle is always released"},
    {"CreateFileA", Way::Returns, kMinusOne, ERROR_ACCESS_DENIED, "INVALID_HANDLE_VALUE: access denied"},
    {"ReadFile", Way::Returns, kFalse, ERROR_ACCESS_DENIED, "FALSE: access denied, nothing read"},
    {"WriteFile", Way::CutShort, 0, kErrorDiskFull, "FALSE: half the bytes written, the disk full"},
    {"GetFileTime", Way::Returns, kFalse, ERROR_ACCESS_DENIED, "FALSE: access denied"},
    {"CloseHandle", Way::Never, 0, 0, "a valid handle is always released"},
    {"DeleteFileA", Way::Returns, kFalse, ERROR_ACCESS_DENIED, "FALSE: access denied"},
    {"CreateDirectoryA", Way::Returns, kFalse, ERROR_ACCESS_DENIED, "FALSE: access denied"},
    {"RemoveDirectoryA", Way::Returns, kFalse, ERROR_ACCESS_DENIED, "FALSE: access denied"},
    {"GetTempPathA", Way::Returns, 0, ERROR_NOT_ENOUGH_MEMORY, "0: no memory"},
    {"GetTempFileNameA", Way::Returns, 0, ERROR_ACCESS_DENIED, "0: the folder refuses the new file"},
    {"GetPrivateProfileStringA", Way::Defaults, 0, ERROR_ACCESS_DENIED, "the file cannot be read: the default"},
    {"GetPrivateProfileIntA", Way::Defaults, 0, ERROR_ACCESS_DENIED, "the file cannot be read: the default"},
    // kernel32: process, memory, modules
    {"GetModuleHandleA", Way::Never, 0, 0, "the program's own module and the libraries it imports always exist"},
    {"GetModuleFileNameA", Way::Returns, 0, ERROR_NOT_ENOUGH_MEMORY, "0: no memory"},
    {"GetCommandLineA", Way::Never, 0, 0, "returns the process's own line"},
    {"GetCurrentProcess", Way::Never, 0, 0, "a constant pseudo handle"},
    {"SetErrorMode", Way::Never, 0, 0, "returns the previous mode"},
    {"ExitProcess", Way::Never, 0, 0, "does not return"},
    {"Sleep", Way::Never, 0, 0, "no result"},
    {"GetSystemDirectoryA", Way::Returns, 0, ERROR_NOT_ENOUGH_MEMORY, "0: no memory"},
    {"GetVersionExA", Way::Never, 0, 0, "a record with its size set is always filled"},
    {"ExpandEnvironmentStringsA", Way::Returns, 0, ERROR_NOT_ENOUGH_MEMORY, "0: no memory"},
    {"SetEnvironmentVariableA", Way::Returns, kFalse, ERROR_NOT_ENOUGH_MEMORY, "FALSE: no memory"},
    {"GlobalAlloc", Way::Returns, kNull, ERROR_NOT_ENOUGH_MEMORY, "NULL: no memory"},
    {"GlobalLock", Way::Returns, kNull, kErrorDiscarded, "NULL: the block was discarded"},
    {"GlobalUnlock", Way::Never, 0, 0, "FALSE only says the block is unlocked"},
    {"GlobalFree", Way::Never, 0, 0, "a valid handle is always released"},
    {"FindResourceA", Way::Returns, kNull, kErrorResourceDataNotFound, "NULL: resource not found"},
    {"SizeofResource", Way::Returns, 0, kErrorResourceDataNotFound, "0: resource not found"},
    {"LoadResource", Way::Returns, kNull, ERROR_NOT_ENOUGH_MEMORY, "NULL: no memory"},
    {"LockResource", Way::Returns, kNull, ERROR_NOT_ENOUGH_MEMORY, "NULL: not available"},
    {"FreeResource", Way::Never, 0, 0, "obsolete, always FALSE"},
    {"LoadLibraryExA", Way::Returns, kNull, kErrorDllInitFailed, "NULL: the library failed to start"},
    {"SetDefaultDllDirectories", Way::Returns, kFalse, kErrorInvalidParameter, "FALSE: invalid parameter"},
    {"SetDllDirectoryA", Way::Returns, kFalse, ERROR_NOT_ENOUGH_MEMORY, "FALSE: no memory"},
    {"GetProcAddress", Way::Returns, kNull, kErrorProcNotFound, "NULL: no such entry point"},
    {"FreeLibrary", Way::Never, 0, 0, "a valid handle is always released"},
    {"WaitForSingleObject", Way::Returns, intptr_t(WAIT_FAILED), ERROR_ACCESS_DENIED, "WAIT_FAILED: access denied"},
    {"GetExitCodeProcess", Way::Returns, kFalse, ERROR_ACCESS_DENIED, "FALSE: access denied"},
    {"lstrlenA", Way::Never, 0, 0, "a function of its valid input"},
    {"lstrcmpA", Way::Never, 0, 0, "a function of its valid input"},
    {"lstrcmpiA", Way::Never, 0, 0, "a function of its valid input"},
    {"MulDiv", Way::Never, 0, 0, "a function of its input"},
    // user32
    {"wsprintfA", Way::Never, 0, 0, "a function of its valid input"},
    {"CharNextA", Way::Never, 0, 0, "a function of its valid input"},
    {"MessageBoxA", Way::Returns, 0, ERROR_NOT_ENOUGH_MEMORY, "0: the box cannot be shown"},
    {"ExitWindowsEx", Way::Returns, kFalse, kErrorPrivilegeNotHeld, "FALSE: privilege not held"},
    {"RegisterClassA", Way::Returns, 0, ERROR_NOT_ENOUGH_MEMORY, "0: no memory"},
    {"CreateWindowExA", Way::Returns, kNull, ERROR_NOT_ENOUGH_MEMORY, "NULL: no memory"},
    {"DestroyWindow", Way::Never, 0, 0, "destroys any window of its own thread"},
    {"IsWindow", Way::Never, 0, 0, "a question"},
    {"ShowWindow", Way::Never, 0, 0, "returns the previous visibility"},
    {"UpdateWindow", Way::Returns, kFalse, ERROR_NOT_ENOUGH_MEMORY, "FALSE: no memory"},
    {"SetWindowPos", Way::Returns, kFalse, ERROR_NOT_ENOUGH_MEMORY, "FALSE: no memory"},
    {"InvalidateRect", Way::Returns, kFalse, ERROR_NOT_ENOUGH_MEMORY, "FALSE: no memory"},
    {"BeginPaint", Way::Returns, kNull, kErrorNoSystemResources, "NULL: no display context"},
    {"EndPaint", Way::Never, 0, 0, "always nonzero"},
    {"GetDC", Way::Returns, kNull, kErrorNoSystemResources, "NULL: no display context"},
    {"ReleaseDC", Way::Never, 0, 0, "a valid context is always released"},
    {"DefWindowProcA", Way::Never, 0, 0, "the default handling, no failure"},
    {"PostQuitMessage", Way::Never, 0, 0, "no result"},
    {"SetTimer", Way::Returns, 0, kErrorNoSystemResources, "0: no timer left"},
    {"PeekMessageA", Way::Never, 0, 0, "FALSE only says no message waits"},
    {"TranslateMessage", Way::Never, 0, 0, "FALSE only says nothing was translated"},
    {"DispatchMessageA", Way::Never, 0, 0, "returns the procedure's result"},
    {"SendMessageA", Way::Never, 0, 0, "returns the procedure's result"},
    {"PostMessageA", Way::Returns, kFalse, kErrorNotEnoughQuota, "FALSE: the queue is full"},
    {"CreateDialogParamA", Way::Returns, kNull, ERROR_NOT_ENOUGH_MEMORY, "NULL: no memory"},
    {"GetDlgItem", Way::Never, 0, 0, "a control of a valid dialog is always found"},
    {"SetWindowTextA", Way::Returns, kFalse, ERROR_NOT_ENOUGH_MEMORY, "FALSE: no memory"},
    {"LoadIconA", Way::Returns, kNull, ERROR_NOT_ENOUGH_MEMORY, "NULL: no memory"},
    {"LoadCursorA", Way::Returns, kNull, ERROR_NOT_ENOUGH_MEMORY, "NULL: no memory"},
    {"InitCommonControls", Way::Never, 0, 0, "no result"},
    {"GetProcessWindowStation", Way::Returns, kNull, ERROR_ACCESS_DENIED, "NULL: access denied"},
    {"GetUserObjectInformationA", Way::Returns, kFalse, ERROR_ACCESS_DENIED, "FALSE: access denied"},
    // gdi32
    {"GetDeviceCaps", Way::Never, 0, 0, "a valid context always answers"},
    {"GetStockObject", Way::Never, 0, 0, "stock objects always exist"},
    {"CreatePalette", Way::Returns, kNull, kErrorNoSystemResources, "NULL: no GDI resources"},
    {"SelectPalette", Way::Returns, kNull, kErrorNoSystemResources, "NULL: no GDI resources"},
    {"RealizePalette", Way::Returns, intptr_t(GDI_ERROR), kErrorNoSystemResources, "GDI_ERROR"},
    {"DeleteObject", Way::Never, 0, 0, "a valid object is always released"},
    {"SelectObject", Way::Returns, kNull, kErrorNoSystemResources, "NULL: no GDI resources"},
    {"CreateFontA", Way::Returns, kNull, kErrorNoSystemResources, "NULL: no GDI resources"},
    {"SetBkMode", Way::Returns, 0, kErrorNoSystemResources, "0"},
    {"SetTextColor", Way::Returns, kClrInvalid, kErrorNoSystemResources, "CLR_INVALID"},
    {"TextOutA", Way::Returns, kFalse, kErrorNoSystemResources, "FALSE: no GDI resources"},
    {"GetTextExtentPointA", Way::Returns, kFalse, kErrorNoSystemResources, "FALSE: no GDI resources"},
    {"StretchDIBits", Way::Returns, 0, kErrorNoSystemResources, "0: nothing drawn"},
    // advapi32: registry calls return their error
    {"RegOpenKeyExA", Way::Returns, ERROR_ACCESS_DENIED, 0, "ERROR_ACCESS_DENIED"},
    {"RegCreateKeyExA", Way::Returns, ERROR_ACCESS_DENIED, 0, "ERROR_ACCESS_DENIED"},
    {"RegQueryValueExA", Way::Returns, ERROR_NOT_ENOUGH_MEMORY, 0, "ERROR_NOT_ENOUGH_MEMORY"},
    {"RegSetValueExA", Way::Returns, ERROR_ACCESS_DENIED, 0, "ERROR_ACCESS_DENIED"},
    {"RegDeleteValueA", Way::Returns, ERROR_ACCESS_DENIED, 0, "ERROR_ACCESS_DENIED"},
    {"RegEnumValueA", Way::Returns, ERROR_NOT_ENOUGH_MEMORY, 0, "ERROR_NOT_ENOUGH_MEMORY"},
    {"RegCloseKey", Way::Never, 0, 0, "a valid key is always released"},
    {"OpenSCManagerA", Way::Returns, kNull, ERROR_ACCESS_DENIED, "NULL: access denied"},
    {"CloseServiceHandle", Way::Never, 0, 0, "a valid handle is always released"},
    {"OpenProcessToken", Way::Returns, kFalse, ERROR_ACCESS_DENIED, "FALSE: access denied"},
    {"LookupPrivilegeValueA", Way::Returns, kFalse, kErrorNoSuchPrivilege, "FALSE: no such privilege"},
    {"AdjustTokenPrivileges", Way::Returns, kFalse, ERROR_ACCESS_DENIED, "FALSE: access denied"},
    {"RegisterEventSourceA", Way::Returns, kNull, ERROR_ACCESS_DENIED, "NULL: access denied"},
    {"ReportEventA", Way::Returns, kFalse, kErrorLogFileFull, "FALSE: the event log is full"},
    // shell32
    {"ShellExecuteExA", Way::Returns, kFalse, ERROR_ACCESS_DENIED, "FALSE: access denied"},
    // MSI.DLL and VERSION.DLL return their error
    {"MsiGetProductInfoA", Way::Returns, kErrorBadConfiguration, 0, "ERROR_BAD_CONFIGURATION"},
    {"MsiConfigureProductA", Way::Returns, kErrorInstallFailure, 0, "ERROR_INSTALL_FAILURE"},
    {"GetFileVersionInfoA", Way::Returns, kFalse, kErrorResourceDataNotFound, "FALSE: no version data"},
    {"VerQueryValueA", Way::Returns, kFalse, 0, "FALSE: no such block"},
};
// clang-format on

const Failure& FailureOf(std::string_view call) {
    static const auto byName = [] {
        std::unordered_map<std::string_view, const Failure*> map;
        for (const Failure& failure : kFailures) map[failure.call] = &failure;
        return map;
    }();
    auto found = byName.find(call);
    if (found == byName.end())
        throw std::logic_error("the platform call " + std::string(call) + " has no entry in the failure table");
    return *found->second;
}

struct Counter {
    std::vector<std::string> calls;
    std::vector<std::string> failed;
    std::optional<uint64_t> failCall;
    std::map<std::string, int> failNth;  // call -> its number (counted from the reset) that fails
    std::map<std::string, int> countOf;
    std::vector<std::string> failEvery;
    std::optional<uint64_t> limit;
    uint32_t lastError = 0;
    std::function<void(const std::string&)> before;
    int depth = 0;  // platform calls in progress; only the outermost is the program's
};

Counter& State() {
    static Counter counter;
    return counter;
}

Registration reg([] { State() = Counter{}; });

bool Chosen(Counter& counter, const std::string& call) {
    int number = ++counter.countOf[call];
    if (counter.failCall && *counter.failCall == counter.calls.size()) return true;
    auto nth = counter.failNth.find(call);
    if (nth != counter.failNth.end() && nth->second == number) return true;
    for (const auto& every : counter.failEvery)
        if (every == call) return true;
    return false;
}

}  // namespace

const std::vector<std::string>& Calls() { return State().calls; }
bool CanFail(const std::string& call) { return FailureOf(call).way != Way::Never; }
void FailCall(uint64_t k) { State().failCall = k; }

// A call named to fail must be one that can: anything else is a mistake.
void RequireFailable(const std::string& call) {
    if (!CanFail(call)) throw std::logic_error(call + " cannot fail: " + FailureOf(call).note);
}

void FailNthCallOf(const std::string& call, int n) {
    RequireFailable(call);
    State().failNth[call] = State().countOf[call] + n;
}

void FailEveryCallOf(const std::string& call) {
    RequireFailable(call);
    State().failEvery.push_back(call);
}

std::string HowItFails(const std::string& call) { return FailureOf(call).note; }

const std::vector<std::string>& Failed() { return State().failed; }
uint32_t LastError() { return State().lastError; }
void SetCallLimit(uint64_t calls) { State().limit = calls; }

Call::Call(const char* name) {
    Counter& counter = State();
    if (counter.depth++ > 0) return;
    const Failure& failure = FailureOf(name);
    if (counter.before) counter.before(name);
    counter.calls.emplace_back(name);
    if (counter.limit && counter.calls.size() > *counter.limit) {
        --counter.depth;
        throw Hang("more than " + std::to_string(*counter.limit) + " platform calls, the last " + name +
                   ": the program spins without end");
    }
    if (!Chosen(counter, name) || failure.way == Way::Never) return;
    fails_ = true;
    result_ = failure.result;
    counter.lastError = failure.error;
    counter.failed.emplace_back(name);
    Record(std::string(name) + " failed");
}

void BeforeEachCall(std::function<void(const std::string& call)> action) { State().before = std::move(action); }

Call::~Call() { --State().depth; }

ProgramCode::ProgramCode() : savedDepth_(State().depth) { State().depth = 0; }
ProgramCode::~ProgramCode() { State().depth = savedDepth_; }

}  // namespace sim::faults

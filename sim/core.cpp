// The run, the virtual clock, the trace and the process calls.
#include "sim/sim.h"

#include <cstring>
#include <vector>

#include "base/run_state.h"
#include "driver/run.h"
#include "sim/faults.h"
#include "sim/installer.h"
#include "win32/api.h"

namespace sim {
namespace {

struct Core {
    uint64_t now = 0;
    uint64_t hangLimit = 10 * 60 * 1000;
    std::vector<std::string> trace;
    std::string commandLine = "setup.exe";
    std::string modulePath = "C:\\Setup\\setup.exe";
    unsigned errorMode = 0;
};

Core& State() {
    static Core core;
    return core;
}

std::vector<std::function<void()>>& Resets() {
    static std::vector<std::function<void()>> resets;
    return resets;
}

std::vector<std::function<void(uint64_t)>>& Listeners() {
    static std::vector<std::function<void(uint64_t)>> listeners;
    return listeners;
}

std::vector<std::function<bool(void*)>>& Closers() {
    static std::vector<std::function<bool(void*)>> closers;
    return closers;
}

}  // namespace

void OnCloseHandle(std::function<bool(void*)> closer) { Closers().push_back(std::move(closer)); }

Registration::Registration(std::function<void()> reset) { Resets().push_back(std::move(reset)); }

void OnTimeAdvance(std::function<void(uint64_t)> listener) {
    Listeners().push_back(std::move(listener));
}

// The bounds of the stub's RUN_STATE section, from the linker; weak, for a
// program that has none.
extern "C" char __start_vesk_run_state[] __attribute__((weak));
extern "C" char __stop_vesk_run_state[] __attribute__((weak));

void Reset() {
    State() = Core{};
    // A new process: every record of the run zeroed.
    std::memset(&g_run, 0, sizeof g_run);
    std::memset(&g_settings, 0, sizeof g_settings);
    if (__start_vesk_run_state)
        std::memset(__start_vesk_run_state, 0, size_t(__stop_vesk_run_state - __start_vesk_run_state));
    for (auto& reset : Resets()) reset();
}

bool RunUntilExit(const std::function<void()>& body, unsigned* exitCode) {
    try {
        body();
    } catch (const ProcessExit& exit) {
        if (exitCode) *exitCode = exit.code;
        return true;
    }
    return false;
}

unsigned RunEntry() {
    unsigned code = 0;
    if (!RunUntilExit([] { StubEntry(); }, &code))
        throw std::logic_error("the entry routine returned without ending the process");
    return code;
}

uint64_t Now() { return State().now; }

void Advance(uint64_t ms) {
    Core& core = State();
    core.now += ms;
    for (auto& listener : Listeners()) listener(core.now);
    if (core.now > core.hangLimit)
        throw Hang("virtual clock passed " + std::to_string(core.hangLimit) +
                   " ms: the stub is waiting for something that never comes");
}

void SetHangLimit(uint64_t ms) { State().hangLimit = ms; }

void Record(const std::string& line) { State().trace.push_back(line); }
const std::vector<std::string>& Trace() { return State().trace; }

int FindTrace(const std::string& prefix, int from) {
    const auto& trace = State().trace;
    for (size_t i = from < 0 ? 0 : size_t(from); i < trace.size(); ++i)
        if (trace[i].compare(0, prefix.size(), prefix) == 0) return int(i);
    return -1;
}

void SetCommandLine(const std::string& commandLine) { State().commandLine = commandLine; }
void SetModulePath(const std::string& windowsPath) { State().modulePath = windowsPath; }
unsigned ErrorMode() { return State().errorMode; }

}  // namespace sim

// The process's own module stands for itself; other modules come from the
// installer domain (LoadLibraryA).
static HINSTANCE const kOwnModule = reinterpret_cast<HINSTANCE>(0x400000);

extern "C" {

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
    const sim::faults::Call call(__func__);
    return name ? sim::installer::LoadedModule(name) : kOwnModule;
}

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<DWORD>();
    if (module && module != kOwnModule) return 0;
    const std::string& path = sim::State().modulePath;
    if (size == 0) return 0;
    // A path that does not fit is cut to the buffer size and, as on older
    // systems and under Wine, left unterminated; the result is the size.
    if (path.size() >= size) {
        std::memcpy(buffer, path.data(), size);
        return size;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return DWORD(path.size());
}

LPSTR WINAPI GetCommandLineA(void) {
    const sim::faults::Call call(__func__);
    return const_cast<LPSTR>(sim::State().commandLine.c_str());
}

UINT WINAPI SetErrorMode(UINT mode) {
    const sim::faults::Call call(__func__);
    UINT previous = sim::State().errorMode;
    sim::State().errorMode = mode;
    sim::Record("SetErrorMode " + std::to_string(mode));
    return previous;
}

void WINAPI ExitProcess(UINT code) {
    const sim::faults::Call call(__func__);
    sim::Record("ExitProcess " + std::to_string(code));
    throw sim::ProcessExit{code};
}

HANDLE WINAPI GetCurrentProcess(void) {
    const sim::faults::Call call(__func__);
    return reinterpret_cast<HANDLE>(-1);
}

BOOL WINAPI CloseHandle(HANDLE handle) {
    const sim::faults::Call call(__func__);
    for (auto& closer : sim::Closers())
        if (closer(handle)) return TRUE;
    sim::Record("CloseHandle unknown");
    return FALSE;
}

void WINAPI Sleep(DWORD ms) {
    const sim::faults::Call call(__func__);
    sim::Record("Sleep " + std::to_string(ms));
    sim::Advance(ms);
}

}  // extern "C"

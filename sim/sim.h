// The simulated Windows machine: the test API shared by every domain of the
// simulator. Each domain (files, registry, windows, ...) has its own header
// for setting the machine up and reading back what happened; this one holds
// the run itself, the virtual clock and the call trace.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace sim {

// A fresh machine: every domain back to its defaults.
void Reset();

// Runs the stub's entry routine and returns the process exit code.
unsigned RunEntry();
// Runs any piece of stub code. Returns true when it ended the process
// (ExitProcess), with the code in *exitCode.
bool RunUntilExit(const std::function<void()>& body, unsigned* exitCode);

// Thrown by ExitProcess inside a run; RunEntry/RunUntilExit catch it.
struct ProcessExit {
    unsigned code;
};
// Thrown when the virtual clock passes the hang limit: a wait that never ends.
struct Hang : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Virtual clock, in milliseconds since the machine started.
uint64_t Now();
// Moves the clock forward; time listeners fire (timers, injected messages,
// children ending). Throws Hang past the hang limit.
void Advance(uint64_t ms);
void SetHangLimit(uint64_t ms);  // default 10 virtual minutes
// Domains register what happens as time passes and what a reset clears.
void OnTimeAdvance(std::function<void(uint64_t now)> listener);
struct Registration {
    explicit Registration(std::function<void()> reset);
};

// The ordered record of what the stub did, one line per notable call,
// such as "DestroyWindow splash" or "ShellExecuteExA MSIEXEC". Domains add
// to it; tests look for lines and their order.
void Record(const std::string& line);
const std::vector<std::string>& Trace();
// Index of the first trace line that begins with prefix, at or after from;
// -1 when none.
int FindTrace(const std::string& prefix, int from = 0);

// Kernel handles (files from CreateFileA, processes, tokens) are owned by
// their domains; CloseHandle asks each closer in turn until one owns it.
void OnCloseHandle(std::function<bool(void* handle)> closer);

// The process: command line, own path, error mode.
void SetCommandLine(const std::string& commandLine);
void SetModulePath(const std::string& windowsPath);
unsigned ErrorMode();

}  // namespace sim

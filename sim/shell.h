// Test API of simulated child programs: what ShellExecuteExA starts and how
// each child behaves, scripted per program file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sim::shell {

// How a scripted program behaves once started. A program file that has no
// script does not exist: its start fails with "file not found".
struct Program {
    uint32_t exitCode = 0;
    uint64_t runMs = 0;  // virtual run time; kForever never ends
    bool startFails = false;
    std::function<void()> onStart;  // side effects as the child starts
    std::function<void()> onEnd;    // side effects when it has ended
};
constexpr uint64_t kForever = UINT64_MAX;

// Scripts the program started by this file text (compared case-insensitively
// with the file the stub passes).
void Script(const std::string& file, Program program);

// One call of ShellExecuteExA, in call order.
struct Start {
    uint32_t cbSize = 0;
    uint32_t mask = 0;
    bool hasOwner = false;
    bool hasVerb = false;
    std::string verb;
    std::string file;
    std::string parameters;
    bool hasDirectory = false;
    std::string directory;
    int show = 0;
    bool started = false;
    uint64_t atMs = 0;
    bool handleClosed = false;
};
const std::vector<Start>& Starts();

// WaitForSingleObject calls on process handles, and their time-outs.
int WaitCalls();
const std::vector<uint32_t>& WaitTimeouts();
// Children that are still running at the current virtual time.
int RunningChildren();

}  // namespace sim::shell

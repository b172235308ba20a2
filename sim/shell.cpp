// Simulated child programs: ShellExecuteExA, the process handles it returns,
// WaitForSingleObject on the virtual clock and GetExitCodeProcess.
#include "sim/shell.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "sim/faults.h"
#include "sim/sim.h"
#include "win32/api.h"

namespace sim::shell {
namespace {

struct Child {
    size_t start;  // index into Starts()
    Program program;
    uint64_t endMs;
    bool ended = false;
    bool handleOpen = true;
};

struct Shell {
    std::map<std::string, Program> scripts;  // by lower-case file
    std::vector<Start> starts;
    std::map<uintptr_t, Child> children;  // by process handle
    uintptr_t nextHandle = 0x9000;
    int waits = 0;
    std::vector<uint32_t> timeouts;
};

Shell shell;

sim::Registration reg([] { shell = Shell{}; });

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// Children whose time is up end now, their side effects in start order.
void Settle(uint64_t now) {
    for (auto& [handle, child] : shell.children) {
        if (child.ended || now < child.endMs) continue;
        child.ended = true;
        if (child.program.onEnd) child.program.onEnd();
    }
}

const bool listenerRegistered = [] {
    sim::OnTimeAdvance(Settle);
    sim::OnCloseHandle([](void* handle) {
        auto it = shell.children.find(reinterpret_cast<uintptr_t>(handle));
        if (it == shell.children.end() || !it->second.handleOpen) return false;
        it->second.handleOpen = false;
        shell.starts[it->second.start].handleClosed = true;
        sim::Record("CloseHandle process " + shell.starts[it->second.start].file);
        return true;
    });
    return true;
}();

Child* FindChild(HANDLE handle) {
    auto it = shell.children.find(reinterpret_cast<uintptr_t>(handle));
    if (it == shell.children.end() || !it->second.handleOpen) return nullptr;
    return &it->second;
}

}  // namespace

void Script(const std::string& file, Program program) {
    shell.scripts[Lower(file)] = std::move(program);
}

const std::vector<Start>& Starts() { return shell.starts; }
int WaitCalls() { return shell.waits; }
const std::vector<uint32_t>& WaitTimeouts() { return shell.timeouts; }

int RunningChildren() {
    return int(std::count_if(shell.children.begin(), shell.children.end(),
                             [](const auto& entry) { return !entry.second.ended; }));
}

}  // namespace sim::shell

using namespace sim::shell;

extern "C" {

BOOL WINAPI ShellExecuteExA(SHELLEXECUTEINFOA* info) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<BOOL>();
    Start start;
    start.cbSize = info->cbSize;
    start.mask = info->fMask;
    start.hasOwner = info->hwnd != nullptr;
    start.hasVerb = info->lpVerb != nullptr;
    start.verb = info->lpVerb ? info->lpVerb : "";
    start.file = info->lpFile ? info->lpFile : "";
    start.parameters = info->lpParameters ? info->lpParameters : "";
    start.hasDirectory = info->lpDirectory != nullptr;
    start.directory = info->lpDirectory ? info->lpDirectory : "";
    start.show = info->nShow;
    start.atMs = sim::Now();
    sim::Record("ShellExecuteExA " + start.file + " " + start.parameters);

    info->hProcess = nullptr;
    auto script = shell.scripts.find(Lower(start.file));
    bool valid = info->cbSize == sizeof(SHELLEXECUTEINFOA);
    if (!valid || script == shell.scripts.end() || script->second.startFails) {
        // SE_ERR_FNF: the shell found nothing to start.
        info->hInstApp = reinterpret_cast<HINSTANCE>(2);
        shell.starts.push_back(start);
        return FALSE;
    }
    start.started = true;
    shell.starts.push_back(start);
    info->hInstApp = reinterpret_cast<HINSTANCE>(33);
    Child child{shell.starts.size() - 1, script->second,
                script->second.runMs == kForever ? kForever : sim::Now() + script->second.runMs};
    if (child.program.onStart) child.program.onStart();
    uintptr_t handle = shell.nextHandle;
    shell.nextHandle += 4;
    shell.children[handle] = child;
    if (!(info->fMask & SEE_MASK_NOCLOSEPROCESS)) shell.children[handle].handleOpen = false;
    else info->hProcess = reinterpret_cast<HANDLE>(handle);
    // A child that takes no time has ended by the time anyone looks.
    Settle(sim::Now());
    return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD timeout) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<DWORD>();
    ++shell.waits;
    shell.timeouts.push_back(timeout);
    Child* child = FindChild(handle);
    if (!child) {
        sim::Record("WaitForSingleObject unknown");
        return WAIT_FAILED;
    }
    uint64_t now = sim::Now();
    if (child->ended) return WAIT_OBJECT_0;
    if (timeout != INFINITE && (child->endMs == kForever || now + timeout < child->endMs)) {
        sim::Advance(timeout);
        return WAIT_TIMEOUT;
    }
    if (child->endMs == kForever) {
        // Waiting for ever on a child that never ends: let the hang limit say so.
        for (;;) sim::Advance(60 * 1000);
    }
    sim::Advance(child->endMs - now);
    return WAIT_OBJECT_0;
}

BOOL WINAPI GetExitCodeProcess(HANDLE handle, LPDWORD exitCode) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<BOOL>();
    Child* child = FindChild(handle);
    if (!child) return FALSE;
    *exitCode = child->ended ? child->program.exitCode : DWORD(STILL_ACTIVE);
    return TRUE;
}

}  // extern "C"

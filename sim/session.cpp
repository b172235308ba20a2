// The simulated logon session: administrator rights, the process token with
// its privileges, and ExitWindowsEx.
#include "sim/session.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "sim/faults.h"
#include "sim/sim.h"
#include "sim/windows.h"
#include "win32/api.h"

namespace sim::session {
namespace {

// The identifier LookupPrivilegeValueA hands out for the shutdown privilege.
constexpr DWORD kShutdownLuid = 19;

struct Session {
    bool administrator = true;
    bool shutdownEnabled = false;
    std::set<uintptr_t> serviceHandles;
    std::set<uintptr_t> tokens;
    uintptr_t nextHandle = 0x7000;
    std::vector<ExitRequest> exits;
    bool stationVisible = true;
    std::map<uintptr_t, std::string> eventSources;  // handle -> source name
    std::vector<EventRecord> eventLog;
};

// The one window station of the process.
constexpr uintptr_t kWindowStation = 0x6000;


Session session;

sim::Registration reg([] { session = Session{}; });

uintptr_t NewHandle() {
    uintptr_t id = session.nextHandle;
    session.nextHandle += 4;
    return id;
}

const bool closerRegistered = [] {
    sim::OnCloseHandle([](void* handle) {
        if (!session.tokens.erase(reinterpret_cast<uintptr_t>(handle))) return false;
        sim::Record("CloseHandle token");
        return true;
    });
    return true;
}();

}  // namespace

void SetAdministrator(bool administrator) { session.administrator = administrator; }
const std::vector<ExitRequest>& ExitRequests() { return session.exits; }
void SetWindowStationVisible(bool visible) { session.stationVisible = visible; }
const std::vector<EventRecord>& EventLog() { return session.eventLog; }
int OpenServiceHandleCount() { return int(session.serviceHandles.size()); }
int OpenTokenCount() { return int(session.tokens.size()); }

}  // namespace sim::session

using namespace sim::session;

extern "C" {

SC_HANDLE WINAPI OpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD access) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<SC_HANDLE>();
    char line[96];
    std::snprintf(line, sizeof line, "OpenSCManagerA %s %s 0x%X", machine ? machine : "-",
                  database ? database : "-", access);
    sim::Record(line);
    if (!session.administrator) return nullptr;
    uintptr_t id = NewHandle();
    session.serviceHandles.insert(id);
    return reinterpret_cast<SC_HANDLE>(id);
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE handle) {
    const sim::faults::Call call(__func__);
    bool known = session.serviceHandles.erase(reinterpret_cast<uintptr_t>(handle)) != 0;
    sim::Record(known ? "CloseServiceHandle" : "CloseServiceHandle unknown");
    return known;
}

BOOL WINAPI OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<BOOL>();
    char line[64];
    std::snprintf(line, sizeof line, "OpenProcessToken 0x%X", access);
    sim::Record(line);
    if (process != GetCurrentProcess()) return FALSE;
    uintptr_t id = NewHandle();
    session.tokens.insert(id);
    *token = reinterpret_cast<HANDLE>(id);
    return TRUE;
}

BOOL WINAPI LookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<BOOL>();
    sim::Record(std::string("LookupPrivilegeValueA ") + (system ? system : "-") + " " +
                (name ? name : "-"));
    if (!name || std::strcmp(name, SE_SHUTDOWN_NAME) != 0) return FALSE;
    luid->LowPart = kShutdownLuid;
    luid->HighPart = 0;
    return TRUE;
}

BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState,
                                  DWORD, PTOKEN_PRIVILEGES previous, LPDWORD) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<BOOL>();
    char line[128];
    std::snprintf(line, sizeof line, "AdjustTokenPrivileges disableAll=%d count=%u luid=%u attributes=%u previous=%s",
                  disableAll, newState ? newState->PrivilegeCount : 0,
                  newState ? newState->Privileges[0].Luid.LowPart : 0,
                  newState ? newState->Privileges[0].Attributes : 0, previous ? "yes" : "no");
    sim::Record(line);
    if (!session.tokens.count(reinterpret_cast<uintptr_t>(token))) return FALSE;
    if (disableAll) {
        session.shutdownEnabled = false;
        return TRUE;
    }
    // The stub never passes more than the one privilege the record holds.
    if (!newState || newState->PrivilegeCount != 1) return FALSE;
    const LUID_AND_ATTRIBUTES& privilege = newState->Privileges[0];
    if (privilege.Luid.LowPart == kShutdownLuid && privilege.Luid.HighPart == 0)
        session.shutdownEnabled = (privilege.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    return TRUE;
}

BOOL WINAPI ExitWindowsEx(UINT flags, DWORD reason) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<BOOL>();
    char line[64];
    std::snprintf(line, sizeof line, "ExitWindowsEx %u %u", flags, reason);
    sim::Record(line);
    session.exits.push_back(ExitRequest{flags, reason, session.shutdownEnabled});
    if (!session.shutdownEnabled) return FALSE;
    // Granted: Windows ends the session, asking the program's windows first.
    sim::EndSession(sim::At(sim::Now()));
    return TRUE;
}

HWINSTA WINAPI GetProcessWindowStation(void) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<HWINSTA>();
    sim::Record("GetProcessWindowStation");
    return reinterpret_cast<HWINSTA>(kWindowStation);
}

BOOL WINAPI GetUserObjectInformationA(HANDLE object, int index, LPVOID info, DWORD length, LPDWORD needed) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<BOOL>();
    sim::Record("GetUserObjectInformationA " + std::to_string(index));
    // Only the flags of the window station are modelled.
    if (reinterpret_cast<uintptr_t>(object) != kWindowStation || index != UOI_FLAGS) return FALSE;
    if (needed) *needed = sizeof(USEROBJECTFLAGS);
    if (!info || length < sizeof(USEROBJECTFLAGS)) return FALSE;
    USEROBJECTFLAGS flags{};
    flags.dwFlags = session.stationVisible ? WSF_VISIBLE : 0;
    std::memcpy(info, &flags, sizeof flags);
    return TRUE;
}

HANDLE WINAPI RegisterEventSourceA(LPCSTR server, LPCSTR source) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<HANDLE>();
    sim::Record(std::string("RegisterEventSourceA ") + (server ? server : "-") + " " + (source ? source : "-"));
    // A source that is not registered writes to the Application log.
    if (server || !source) return nullptr;
    uintptr_t id = NewHandle();
    session.eventSources[id] = source;
    return reinterpret_cast<HANDLE>(id);
}

BOOL WINAPI ReportEventA(HANDLE log, WORD type, WORD, DWORD eventId, void*, WORD count, DWORD dataSize,
                         LPCSTR* strings, LPVOID) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<BOOL>();
    sim::Record("ReportEventA type " + std::to_string(type) + " strings " + std::to_string(count));
    auto source = session.eventSources.find(reinterpret_cast<uintptr_t>(log));
    if (source == session.eventSources.end() || (count && !strings) || dataSize) return FALSE;
    EventRecord record{source->second, type, eventId, {}};
    for (WORD i = 0; i < count; ++i) record.strings.emplace_back(strings[i] ? strings[i] : "");
    session.eventLog.push_back(record);
    return TRUE;
}

}  // extern "C"

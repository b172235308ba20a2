// Test API of the simulated logon session: administrator rights (as
// OpenSCManagerA reports them), the process token and its privileges,
// requests to end the session (ExitWindowsEx), the process's window station
// and the Application event log.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim::session {

// OpenSCManagerA succeeds only for an administrator. Default: administrator.
void SetAdministrator(bool administrator);

// ExitWindowsEx is granted only with the shutdown privilege enabled; then the
// session ends as sim::EndSession describes, at once on the virtual clock.
struct ExitRequest {
    uint32_t flags;
    uint32_t reason;
    bool shutdownPrivilegeEnabled;  // enabled on the token at the time
};
const std::vector<ExitRequest>& ExitRequests();

// The process's window station is visible (the interactive WinSta0), unless
// set otherwise, as a service's is not (GetUserObjectInformationA's UOI_FLAGS
// without WSF_VISIBLE).
void SetWindowStationVisible(bool visible);

// The records ReportEventA wrote, with the name of the source registered
// for them.
struct EventRecord {
    std::string source;
    uint16_t type;
    uint32_t eventId;
    std::vector<std::string> strings;
};
const std::vector<EventRecord>& EventLog();

// Service manager and token handles the stub still holds.
int OpenServiceHandleCount();
int OpenTokenCount();

}  // namespace sim::session

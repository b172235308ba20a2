// Test API of the simulated logon session: administrator rights (as
// OpenSCManagerA reports them), the process token and its privileges, and
// requests to end the session (ExitWindowsEx).
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

// Service manager and token handles the stub still holds.
int OpenServiceHandleCount();
int OpenTokenCount();

}  // namespace sim::session

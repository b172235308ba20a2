// The simulated window manager: classes, windows, the thread's message queue,
// timers on the virtual clock, dialogs and the controls they hold, and
// messages that the outside world (the user, the system) sends at a chosen
// moment.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "win32/api.h"

namespace sim {

// What a test can see of one window, alive or already destroyed.
struct WindowInfo {
    HWND handle = nullptr;
    std::string className;
    std::string text;
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0, width = 0, height = 0;
    HWND parent = nullptr;
    int id = 0;  // a control's identifier
    bool visible = false;
    bool alive = false;
    bool dialog = false;
};

// Every window created since the reset, in creation order.
std::vector<WindowInfo> Windows();
// The newest window of a class (case-insensitive), alive or not.
std::optional<WindowInfo> FindWindowOfClass(const std::string& className);
std::optional<WindowInfo> WindowOf(HWND window);
int CountWindowsOfClass(const std::string& className);

// Classes. The system's own ("#32770", "Button", "Static") exist from the
// start; "msctls_progress32" only after InitCommonControls, which the
// program reaches through COMCTL32.DLL (sim/installer.h).
bool ClassRegistered(const std::string& className);
// RegisterClassA of this class name fails (returns 0).
void RefuseClassRegistration(const std::string& className);

// One message that reached a window procedure, in delivery order.
struct DeliveredMessage {
    HWND window = nullptr;
    std::string className;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    LRESULT result = 0;
};
const std::vector<DeliveredMessage>& DeliveredMessages();
// How many messages of this kind reached a window of this class.
int CountDelivered(const std::string& className, UINT message);

// The thread's queue of posted messages (WM_QUIT included once posted),
// oldest first.
std::vector<MSG> PostedMessages();
bool QuitPending();
int PeekMessageCalls();

// Something the outside world does to the program's windows. It happens at
// a virtual time (atMs), or right before the Nth call of PeekMessageA counted
// from the reset (beforePeek, 1-based), whichever is given.
struct When {
    uint64_t atMs = 0;
    int beforePeek = 0;
};
inline When At(uint64_t ms) { return When{ms, 0}; }
inline When BeforePeek(int n) { return When{0, n}; }

// A message sent from another thread (the system, another program): the
// target's procedure runs when this thread next retrieves messages
// (PeekMessageA, a message box's loop), as the platform delivers
// cross-thread sends. The target is the newest live window of the class.
void SendFromOutside(When when, const std::string& className, UINT message, WPARAM wParam,
                     LPARAM lParam);
// A message posted to the newest live window of the class.
void PostFromOutside(When when, const std::string& className, UINT message, WPARAM wParam,
                     LPARAM lParam);
// Windows ends the session: WM_QUERYENDSESSION to every live top-level
// window, then WM_ENDSESSION with wParam TRUE when all of them agreed, and
// FALSE when one of them (or another program) refused: the session goes on.
void EndSession(When when, bool anotherProgramRefuses = false);
// The user clicks the control with this identifier in the newest live
// dialog (button down and up posted to the control).
void ClickDialogControl(When when, int controlId);

// The progress bar: every position it was sent, in order.
std::vector<int> ProgressPositions();

}  // namespace sim

extern "C" void WINAPI InitCommonControls(void);

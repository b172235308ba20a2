// The thread's message queue: posted messages, the quit message, paint and
// timer messages generated when nothing else waits, messages sent from
// outside the thread, and the events a test schedules.
#include <deque>
#include <functional>

#include "sim/faults.h"
#include "sim/sim.h"
#include "sim/window_internals.h"
#include "sim/windows.h"

namespace sim {
namespace {

struct Timer {
    HWND window = nullptr;
    UINT_PTR id = 0;
    UINT period = 0;
    uint64_t due = 0;
    bool pending = false;
    TIMERPROC procedure = nullptr;
};

struct ScheduledEvent {
    When when;
    std::function<void()> happen;
    bool done = false;
};

struct Queue {
    std::deque<MSG> posted;
    bool quitPending = false;
    int quitCode = 0;
    std::vector<Timer> timers;
    std::deque<std::function<void()>> incomingSends;
    std::vector<ScheduledEvent> events;
    int peekCalls = 0;
    int unvalidatedPaints = 0;  // paint messages in a row that left their window invalid
};

Queue& State() {
    static Queue state;
    return state;
}

Registration reg([] { State() = Queue{}; });

// A pump on a window that is never validated would spin for ever.
constexpr int kPaintsBeforeHang = 1000;

MSG MakeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg{};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = DWORD(Now());
    return msg;
}

void Happen(ScheduledEvent& event) {
    // The event may schedule others, which moves the list: run a copy.
    auto happen = event.happen;
    event.done = true;
    happen();
}

void OnTime(uint64_t now) {
    for (auto& timer : State().timers) {
        if (now < timer.due) continue;
        // The platform does not queue up missed periods: one WM_TIMER waits.
        timer.pending = true;
        while (timer.due <= now) timer.due += timer.period ? timer.period : 1;
    }
    for (size_t i = 0; i < State().events.size(); ++i) {
        ScheduledEvent& event = State().events[i];
        if (!event.done && event.when.beforePeek == 0 && event.when.atMs <= now) Happen(event);
    }
}

const bool listening = (OnTimeAdvance(OnTime), true);

void Schedule(When when, std::function<void()> happen) {
    State().events.push_back({when, std::move(happen), false});
    // Something due now (or in the past) happens at once.
    if (when.beforePeek == 0 && when.atMs <= Now()) Happen(State().events.back());
}

bool Matches(const MSG& msg, HWND filter, UINT low, UINT high) {
    if (filter && msg.hwnd != filter) return false;
    if (low == 0 && high == 0) return true;
    return msg.message >= low && msg.message <= high;
}

bool InRange(UINT message, UINT low, UINT high) {
    return (low == 0 && high == 0) || (message >= low && message <= high);
}

// The platform's retrieval order: posted messages, the quit message, then
// paint and timer messages, which exist only while nothing else waits.
bool Retrieve(MSG* msg, HWND filter, UINT low, UINT high, bool remove) {
    Queue& queue = State();
    for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
        if (!Matches(*it, filter, low, high)) continue;
        *msg = *it;
        if (remove) queue.posted.erase(it);
        return true;
    }
    if (queue.quitPending && InRange(WM_QUIT, low, high)) {
        *msg = MakeMessage(nullptr, WM_QUIT, WPARAM(queue.quitCode), 0);
        if (remove) queue.quitPending = false;
        return true;
    }
    if (InRange(WM_PAINT, low, high)) {
        if (HWND window = WindowNeedingPaint(filter)) {
            *msg = MakeMessage(window, WM_PAINT, 0, 0);
            return true;  // stays until the window is validated
        }
    }
    if (InRange(WM_TIMER, low, high)) {
        for (auto& timer : queue.timers) {
            if (!timer.pending || (filter && timer.window != filter)) continue;
            *msg = MakeMessage(timer.window, WM_TIMER, timer.id,
                               reinterpret_cast<LPARAM>(timer.procedure));
            if (remove) timer.pending = false;
            return true;
        }
    }
    return false;
}

}  // namespace

void ForgetTimersOf(HWND window) {
    auto& timers = State().timers;
    std::erase_if(timers, [&](const Timer& t) { return t.window == window; });
}

void DeliverIncomingSends() {
    auto& incoming = State().incomingSends;
    while (!incoming.empty()) {
        auto send = std::move(incoming.front());
        incoming.pop_front();
        send();
    }
}

bool TakeNextMessage(MSG* msg) {
    DeliverIncomingSends();
    return Retrieve(msg, nullptr, 0, 0, true);
}

std::vector<MSG> PostedMessages() {
    std::vector<MSG> result(State().posted.begin(), State().posted.end());
    if (State().quitPending)
        result.push_back(MakeMessage(nullptr, WM_QUIT, WPARAM(State().quitCode), 0));
    return result;
}

bool QuitPending() { return State().quitPending; }
int PeekMessageCalls() { return State().peekCalls; }

void SendFromOutside(When when, const std::string& className, UINT message, WPARAM wParam,
                     LPARAM lParam) {
    Schedule(when, [=] {
        State().incomingSends.push_back([=] {
            if (HWND target = NewestLiveWindowOfClass(className)) {
                Record("sent from outside " + className + " " + std::to_string(message));
                SendMessageA(target, message, wParam, lParam);
            }
        });
    });
}

void PostFromOutside(When when, const std::string& className, UINT message, WPARAM wParam,
                     LPARAM lParam) {
    Schedule(when, [=] {
        if (HWND target = NewestLiveWindowOfClass(className))
            PostMessageA(target, message, wParam, lParam);
    });
}

void EndSession(When when, bool anotherProgramRefuses) {
    Schedule(when, [anotherProgramRefuses] {
        State().incomingSends.push_back([anotherProgramRefuses] {
            Record("session ending");
            bool agreed = !anotherProgramRefuses;
            for (HWND window : LiveTopLevelWindows())
                agreed = SendMessageA(window, WM_QUERYENDSESSION, 0, 0) != 0 && agreed;
            for (HWND window : LiveTopLevelWindows())
                SendMessageA(window, WM_ENDSESSION, agreed, 0);
            // From here on Windows may end the process at any moment.
            Record(agreed ? "session ended" : "session goes on");
        });
    });
}

void ClickDialogControl(When when, int controlId) {
    Schedule(when, [=] {
        HWND dialog = NewestLiveWindowOfClass("#32770");
        HWND control = dialog ? FindChildWithId(dialog, controlId) : nullptr;
        if (!control) return;
        Record("click on control " + std::to_string(controlId));
        PostMessageA(control, WM_LBUTTONDOWN, 1, 0);
        PostMessageA(control, WM_LBUTTONUP, 0, 0);
    });
}

}  // namespace sim

extern "C" {

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<BOOL>();
    // A null window posts to the thread itself.
    if (window && !IsWindow(window)) return FALSE;
    sim::State().posted.push_back(sim::MakeMessage(window, message, wParam, lParam));
    return TRUE;
}

void WINAPI PostQuitMessage(int code) {
    const sim::faults::Call call(__func__);
    sim::Record("PostQuitMessage " + std::to_string(code));
    sim::State().quitPending = true;
    sim::State().quitCode = code;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const sim::faults::Call call(__func__);
    return sim::CallWindowProcedure(window, message, wParam, lParam);
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND filter, UINT low, UINT high, UINT removeFlags) {
    const sim::faults::Call call(__func__);
    sim::Queue& queue = sim::State();
    int number = ++queue.peekCalls;
    for (size_t i = 0; i < queue.events.size(); ++i)
        if (!queue.events[i].done && queue.events[i].when.beforePeek == number)
            sim::Happen(queue.events[i]);
    sim::DeliverIncomingSends();
    if (sim::Retrieve(msg, filter, low, high, (removeFlags & PM_REMOVE) != 0)) return TRUE;
    // An empty queue lets a millisecond pass, so that busy waits progress.
    sim::Advance(1);
    return FALSE;
}

BOOL WINAPI TranslateMessage(const MSG*) {
    const sim::faults::Call call(__func__);
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
    const sim::faults::Call call(__func__);
    if (!msg) return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        const sim::faults::ProgramCode program;
        reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam,
                                                 DWORD(sim::Now()));
        return 0;
    }
    // A thread message, or one whose window is gone, has nobody to handle it.
    if (!msg->hwnd || !IsWindow(msg->hwnd)) return 0;
    LRESULT result = sim::CallWindowProcedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
    // The platform goes on generating WM_PAINT until the procedure validates
    // the window (BeginPaint does); one that never does hangs its pump.
    if (msg->message == WM_PAINT) {
        int& unvalidated = sim::State().unvalidatedPaints;
        unvalidated = sim::WindowNeedingPaint(msg->hwnd) == msg->hwnd ? unvalidated + 1 : 0;
        if (unvalidated > sim::kPaintsBeforeHang)
            throw sim::Hang("WM_PAINT keeps coming: a window procedure never validates its window");
    }
    return result;
}

UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<UINT_PTR>();
    if (window && !IsWindow(window)) return 0;
    auto& timers = sim::State().timers;
    sim::Record("SetTimer " + std::to_string(id) + " " + std::to_string(elapse));
    std::erase_if(timers, [&](const sim::Timer& t) { return t.window == window && t.id == id; });
    if (!window) id = 0x7000 + timers.size();
    timers.push_back({window, id, elapse, sim::Now() + elapse, false, procedure});
    return id;
}

}  // extern "C"

// MessageBoxA: a modal loop on the virtual clock that dispatches the
// thread's messages until the scripted answer comes.
#include "sim/msgbox.h"

#include <deque>

#include "sim/faults.h"
#include "sim/installer.h"
#include "sim/sim.h"
#include "sim/window_internals.h"

namespace sim {
namespace {

struct ScriptedAnswer {
    int answer;
    uint64_t afterMs;
};

struct Boxes {
    std::deque<ScriptedAnswer> script;
    std::vector<MessageBoxShown> shown;
};

Boxes& State() {
    static Boxes state;
    return state;
}

Registration reg([] { State() = Boxes{}; });

constexpr uint64_t kDefaultAnswerMs = 1000;

int DefaultButton(UINT type) {
    bool second = (type & 0xF00) == MB_DEFBUTTON2;
    switch (type & 0xF) {
    case MB_OKCANCEL:
        return second ? IDCANCEL : IDOK;
    case MB_YESNO:
        return second ? IDNO : IDYES;
    default:
        return IDOK;
    }
}

// Dispatches everything waiting. A quit message ends the modal loop; as the
// platform's loops do, it is posted again for the caller's own loop.
bool DispatchWaiting() {
    MSG msg;
    while (TakeNextMessage(&msg)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(int(msg.wParam));
            return false;
        }
        DispatchMessageA(&msg);
    }
    return true;
}

}  // namespace

void AnswerNextBox(int answer, uint64_t afterMs) { State().script.push_back({answer, afterMs}); }
const std::vector<MessageBoxShown>& MessageBoxes() { return State().shown; }

}  // namespace sim

extern "C" {

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<int>();
    auto& state = sim::State();
    std::string shownText = text ? text : "";
    // A missing caption shows as "Error", as on the platform.
    std::string shownCaption = caption ? caption : "Error";
    sim::Record("MessageBoxA " + shownCaption + ": " + shownText);
    sim::installer::PlatformLoadsByName("UXTHEME.DLL");  // the box is a window too
    sim::ScriptedAnswer scripted{sim::DefaultButton(type), sim::kDefaultAnswerMs};
    if (!state.script.empty()) {
        scripted = state.script.front();
        state.script.pop_front();
    }
    size_t index = state.shown.size();
    state.shown.push_back({shownText, shownCaption, type, owner, sim::Now(), 0, false});

    bool open = sim::DispatchWaiting();
    for (uint64_t waited = 0; open && waited < scripted.afterMs; ++waited) {
        sim::Advance(1);
        open = sim::DispatchWaiting();
    }
    int answer = open ? scripted.answer : 0;
    sim::State().shown[index].answer = answer;
    sim::State().shown[index].cutShort = !open;
    return answer;
}

}  // extern "C"

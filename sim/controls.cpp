// The system's controls that the program's dialog holds: static text, push
// button and the common controls' progress bar.
#include <algorithm>
#include <map>

#include "sim/faults.h"
#include "sim/sim.h"
#include "sim/window_internals.h"
#include "sim/windows.h"

namespace sim {
namespace {

struct ProgressBar {
    int low = 0;
    int high = 100;
    int position = 0;
};

struct Controls {
    std::map<HWND, ProgressBar> bars;
    std::vector<int> positions;
};

Controls& State() {
    static Controls state;
    return state;
}

Registration reg([] { State() = Controls{}; });

LRESULT CALLBACK ProgressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ProgressBar& bar = State().bars[window];
    switch (message) {
    case PBM_SETPOS: {
        int previous = bar.position;
        State().positions.push_back(int(wParam));
        Record("PBM_SETPOS " + std::to_string(int(wParam)));
        bar.position = std::clamp(int(wParam), bar.low, bar.high);
        return previous;
    }
    case PBM_GETPOS:
        return bar.position;
    case PBM_SETRANGE: {
        LRESULT previous = MAKELONG(bar.low, bar.high);
        bar.low = LOWORD(lParam);
        bar.high = HIWORD(lParam);
        return previous;
    }
    case WM_NCDESTROY:
        State().bars.erase(window);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

LRESULT CALLBACK ButtonWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // A click ends with the button up: the button tells its parent.
    if (message == WM_LBUTTONUP) {
        SendMessageA(ParentOf(window), WM_COMMAND, MAKEWPARAM(ControlIdOf(window), BN_CLICKED),
                     reinterpret_cast<LPARAM>(window));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

std::vector<int> ProgressPositions() { return State().positions; }

}  // namespace sim

extern "C" {

// Registers every common control class; of them the program uses the bar.
void WINAPI InitCommonControls(void) {
    const sim::faults::Call call(__func__);
    sim::Record("InitCommonControls");
    sim::RegisterSystemClass("msctls_progress32", sim::ProgressWindowProc);
}

}  // extern "C"

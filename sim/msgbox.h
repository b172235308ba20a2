// Message boxes: answered by a script, each one recorded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "win32/api.h"

namespace sim {

struct MessageBoxShown {
    std::string text;
    std::string caption;
    UINT type = 0;
    HWND owner = nullptr;
    uint64_t shownAt = 0;   // virtual time
    int answer = 0;
    bool cutShort = false;  // a quit message ended the box's loop
};

// The answers of the next boxes, in order, each after the given time has
// passed on the virtual clock while the box is up (its loop dispatches the
// thread's messages meanwhile). A box with no scripted answer gets the one
// that pressing Enter gives: its default button (IDOK, or IDYES, or IDNO
// with MB_DEFBUTTON2), after 1000 ms.
void AnswerNextBox(int answer, uint64_t afterMs = 1000);
const std::vector<MessageBoxShown>& MessageBoxes();

}  // namespace sim

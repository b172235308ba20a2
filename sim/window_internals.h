// What the simulator's windowing files share among themselves (windows,
// message queue, dialogs and controls, message boxes, GDI). Tests use
// sim/windows.h instead.
#pragma once

#include <string>
#include <vector>

#include "win32/api.h"

namespace sim {

// Windows.
LRESULT CallWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
HWND NewestLiveWindowOfClass(const std::string& className);
std::vector<HWND> LiveTopLevelWindows();
HWND FindChildWithId(HWND parent, int id);
int ControlIdOf(HWND window);
HWND ParentOf(HWND window);
// A visible window with an update region, or none; filter as PeekMessageA's.
HWND WindowNeedingPaint(HWND filter);
void MakeDialog(HWND window, DLGPROC procedure);
DLGPROC DialogProcedureOf(HWND window);
void RegisterSystemClass(const std::string& name, WNDPROC procedure);

// The message queue.
void ForgetTimersOf(HWND window);
// Runs the procedures of messages sent from outside the thread; the
// platform does this whenever the thread retrieves messages.
void DeliverIncomingSends();
// Removes the next waiting message (posted, quit, paint, timer) of any
// window, without the bookkeeping of PeekMessageA.
bool TakeNextMessage(MSG* msg);

// The system's window procedures behind the predefined classes.
LRESULT CALLBACK DialogWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ButtonWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Device contexts, for painting.
HDC OpenDeviceContext(HWND window);
void CloseDeviceContext(HDC dc);

}  // namespace sim

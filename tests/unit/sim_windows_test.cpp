// The simulated window manager follows the platform where the program's
// tests depend on it: creation and placement messages, default handling,
// the queue's order, timers and message boxes.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "sim/gdi.h"
#include "sim/msgbox.h"
#include "sim/sim.h"
#include "sim/windows.h"

namespace {

std::vector<UINT> g_seen;

LRESULT CALLBACK Recording(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    g_seen.push_back(message);
    return DefWindowProcA(window, message, wParam, lParam);
}

// A procedure that forgets to paint.
LRESULT CALLBACK NeverPaints(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) return 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

class SimWindows : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        g_seen.clear();
        WNDCLASSA recording{};
        recording.lpfnWndProc = Recording;
        recording.lpszClassName = "Recording";
        ASSERT_NE(0, RegisterClassA(&recording));
    }
    static HWND Create(DWORD style, int x, int y, int width, int height) {
        return CreateWindowExA(0, "Recording", "test", style, x, y, width, height, nullptr,
                               nullptr, nullptr, nullptr);
    }
    static bool Saw(UINT message) {
        return std::find(g_seen.begin(), g_seen.end(), message) != g_seen.end();
    }
};

TEST_F(SimWindows, CreationSendsNcCreateThenCreateAndClassNamesAreUnique) {
    Create(WS_POPUP, 0, 0, 10, 10);
    ASSERT_GE(g_seen.size(), 2u);
    EXPECT_EQ(UINT(WM_NCCREATE), g_seen[0]);
    EXPECT_EQ(UINT(WM_CREATE), g_seen[1]);
    WNDCLASSA again{};
    again.lpfnWndProc = Recording;
    again.lpszClassName = "RECORDING";
    EXPECT_EQ(0, RegisterClassA(&again)) << "a second class of the same name is refused";
}

TEST_F(SimWindows, PopupWithDefaultPlaceAndSizeGetsZeroes) {
    HWND window = Create(WS_POPUP, CW_USEDEFAULT, 100, CW_USEDEFAULT, 100);
    auto info = sim::WindowOf(window);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(0, info->x);
    EXPECT_EQ(0, info->y);
    EXPECT_EQ(0, info->width);
    EXPECT_EQ(0, info->height);
}

TEST_F(SimWindows, ResizingSendsPositionMessagesAndInvalidates) {
    HWND window = Create(WS_POPUP | WS_VISIBLE, 0, 0, 0, 0);
    g_seen.clear();
    SetWindowPos(window, nullptr, 5, 6, 30, 40, SWP_NOZORDER);
    EXPECT_EQ((std::vector<UINT>{WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}),
              g_seen);
    g_seen.clear();
    UpdateWindow(window);
    EXPECT_TRUE(Saw(WM_PAINT)) << "the grown window has an update region";
    g_seen.clear();
    UpdateWindow(window);
    EXPECT_FALSE(Saw(WM_PAINT)) << "no update region is left, so nothing is painted";
}

TEST_F(SimWindows, PaintKeepsComingUntilTheWindowIsValidated) {
    WNDCLASSA careless{};
    careless.lpfnWndProc = NeverPaints;
    careless.lpszClassName = "Careless";
    RegisterClassA(&careless);
    CreateWindowExA(0, "Careless", "", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr,
                    nullptr, nullptr);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    ASSERT_EQ(UINT(WM_PAINT), msg.message);
    DispatchMessageA(&msg);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "the window is still invalid";
    EXPECT_EQ(UINT(WM_PAINT), msg.message);
    auto pump = [&] {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    };
    EXPECT_THROW(pump(), sim::Hang) << "a pump on it never empties the queue";
}

TEST_F(SimWindows, ShowSendsShowWindow) {
    HWND window = Create(WS_POPUP, 0, 0, 10, 10);
    g_seen.clear();
    EXPECT_FALSE(ShowWindow(window, SW_SHOW));
    EXPECT_EQ((std::vector<UINT>{WM_SHOWWINDOW}), g_seen);
    EXPECT_TRUE(ShowWindow(window, SW_HIDE)) << "it was visible";
}

TEST_F(SimWindows, DefaultProcedureDestroysOnCloseAndLetsTheSessionEnd) {
    HWND window = Create(WS_POPUP, 0, 0, 10, 10);
    g_seen.clear();
    SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ((std::vector<UINT>{WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY, WM_NCDESTROY}), g_seen);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(0, SendMessageA(window, WM_USER, 0, 0)) << "a destroyed window gets nothing";
    window = Create(WS_POPUP, 0, 0, 10, 10);
    EXPECT_EQ(TRUE, SendMessageA(window, WM_QUERYENDSESSION, 0, 0)) << "the session may end";
}

TEST_F(SimWindows, QuitComesAfterPostedMessages) {
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(1u, sim::Now()) << "an empty queue lets a millisecond pass";
    HWND window = Create(WS_POPUP, 0, 0, 10, 10);
    PostQuitMessage(3);
    PostMessageA(window, WM_USER, 0, 0);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(UINT(WM_USER), msg.message);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(UINT(WM_QUIT), msg.message);
    EXPECT_EQ(3u, msg.wParam);
    EXPECT_EQ(nullptr, msg.hwnd);
}

TEST_F(SimWindows, TimerFiresWhenDueAndRepeatsWithoutPilingUp) {
    HWND window = Create(WS_POPUP, 0, 0, 10, 10);
    SetTimer(window, 7, 100, nullptr);
    MSG msg;
    sim::Advance(99);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
    sim::Advance(350);  // three periods have passed
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(UINT(WM_TIMER), msg.message);
    EXPECT_EQ(7u, msg.wParam);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) << "one at a time";
    sim::Advance(100);
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) << "it repeats";
    DestroyWindow(window);
    sim::Advance(500);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "a destroyed window's timer stops";
}

TEST_F(SimWindows, MessagesFromOutsideArriveWhenChosen) {
    HWND window = Create(WS_POPUP, 0, 0, 10, 10);
    sim::PostFromOutside(sim::BeforePeek(3), "Recording", WM_USER + 5, 0, 0);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(UINT(WM_USER + 5), msg.message);
    EXPECT_EQ(window, msg.hwnd);
    sim::SendFromOutside(sim::At(10), "Recording", WM_USER + 6, 0, 0);
    sim::Advance(20);
    EXPECT_FALSE(Saw(WM_USER + 6)) << "a sent message waits until the thread retrieves messages";
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "a sent message is not returned";
    EXPECT_TRUE(Saw(WM_USER + 6));
}

TEST_F(SimWindows, DialogNeedsTheProgressBarsClassAndIsCentred) {
    EXPECT_EQ(nullptr, CreateDialogParamA(nullptr, MAKEINTRESOURCEA(110), nullptr, nullptr, 0));
    InitCommonControls();
    HWND dialog = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(110), nullptr, nullptr, 0);
    auto info = sim::WindowOf(dialog);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ((sim::ScreenWidth() - info->width) / 2, info->x);
    EXPECT_EQ((sim::ScreenHeight() - info->height) / 2, info->y);
}

TEST_F(SimWindows, BoxLoopDispatchesTimersWhileUpAndUnscriptedBoxesGetTheirDefault) {
    HWND window = Create(WS_POPUP, 0, 0, 10, 10);
    SetTimer(window, 1, 100, nullptr);
    sim::AnswerNextBox(IDOK, 250);
    MessageBoxA(nullptr, "a", "b", MB_OK);
    EXPECT_EQ(2, std::count(g_seen.begin(), g_seen.end(), UINT(WM_TIMER)));
    EXPECT_EQ(IDOK, MessageBoxA(nullptr, "a", "b", MB_OK)) << "unscripted: the default button";
    EXPECT_EQ(IDYES, MessageBoxA(nullptr, "a", "b", MB_YESNO)) << "unscripted: the default button";
    EXPECT_EQ(IDNO, MessageBoxA(nullptr, "a", "b", MB_YESNO | MB_DEFBUTTON2)) << "unscripted: the default button";
}

TEST_F(SimWindows, WaitingQuitCutsABoxShortAndIsPostedAgain) {
    PostQuitMessage(0);
    sim::AnswerNextBox(IDYES, 500);
    EXPECT_EQ(0, MessageBoxA(nullptr, "a", "b", MB_YESNO));
    ASSERT_EQ(1u, sim::MessageBoxes().size());
    EXPECT_TRUE(sim::MessageBoxes()[0].cutShort);
    EXPECT_TRUE(sim::QuitPending());
}

}  // namespace

// The message pump, the wait for the splash's hold and the run's message
// boxes.
#include "sim/faults.h"
#include "sim/msgbox.h"
#include "sim/windows.h"
#include "ui_fixture.h"

namespace {

class MessagePump : public UiTest {
protected:
    // A plain window of the test's own to post messages to.
    static HWND PlainWindow() {
        WNDCLASSA plain{};
        plain.lpfnWndProc = DefWindowProcA;
        plain.lpszClassName = "Plain";
        RegisterClassA(&plain);
        return CreateWindowExA(0, "Plain", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               g_run.instance, nullptr);
    }
};

TEST_F(MessagePump, DispatchesEverythingWaitingAndNeverWaits) {
    HWND window = PlainWindow();
    PostMessageA(window, WM_USER + 1, 0, 0);
    PostMessageA(window, WM_USER + 2, 0, 0);
    PumpMessages();
    EXPECT_EQ(1, sim::CountDelivered("Plain", WM_USER + 1));
    EXPECT_EQ(1, sim::CountDelivered("Plain", WM_USER + 2));
    EXPECT_TRUE(sim::PostedMessages().empty());
    ShowSplash();
    PumpMessages();
    EXPECT_LT(sim::Now(), 3000u) << "the splash's timer message is not waited for";
    EXPECT_TRUE(g_run.splashHold);
}

TEST_F(MessagePump, LeavesTheQueueAloneOnceTheSessionEnds) {
    HWND window = PlainWindow();
    PostMessageA(window, WM_USER, 0, 0);
    g_run.sessionEnding = TRUE;
    PumpMessages();
    EXPECT_EQ(1u, sim::PostedMessages().size());
    EXPECT_EQ(0, sim::PeekMessageCalls());
}

TEST_F(MessagePump, MessageThatEndsTheSessionIsTheLastDispatched) {
    ShowSplash();
    HWND window = PlainWindow();
    PostMessageA(g_run.splashWindow, WM_ENDSESSION, TRUE, 0);
    PostMessageA(window, WM_USER, 0, 0);
    PumpMessages();
    EXPECT_TRUE(g_run.sessionEnding);
    EXPECT_EQ(0, sim::CountDelivered("Plain", WM_USER));
    EXPECT_EQ(1u, sim::PostedMessages().size());
}

TEST_F(MessagePump, WaitingQuitIsConsumedAndALaterBoxStillWaits) {
    PostQuitMessage(0);
    PumpMessages();
    EXPECT_FALSE(sim::QuitPending());
    sim::AnswerNextBox(IDNO, 2000);
    EXPECT_EQ(IDNO, ShowProductMessage("Remove it?", MB_YESNO));
    ASSERT_EQ(1u, sim::MessageBoxes().size());
    EXPECT_FALSE(sim::MessageBoxes()[0].cutShort);
    EXPECT_GE(sim::Now(), 2000u);
}

TEST_F(MessagePump, QuitPostedByTheClosedSplashDoesNotCutABoxShort) {
    ShowSplash();
    CloseSplash();
    ShowInstallError(nullptr);
    ASSERT_EQ(1u, sim::MessageBoxes().size());
    EXPECT_FALSE(sim::MessageBoxes()[0].cutShort);
}

TEST_F(MessagePump, HoldWaitLastsUntilTheTimer) {
    ShowSplash();
    WaitSplashHold();
    EXPECT_FALSE(g_run.splashHold);
    EXPECT_GE(sim::Now(), 3000u);
    EXPECT_LT(sim::Now(), 3100u);
}

TEST_F(MessagePump, HoldWaitEndsWhenTheSessionEnds) {
    ShowSplash();
    sim::EndSession(sim::At(1000));
    WaitSplashHold();
    EXPECT_TRUE(g_run.sessionEnding);
    EXPECT_TRUE(g_run.splashHold) << "the timer never came";
    EXPECT_LT(sim::Now(), 1100u);
}

TEST_F(MessagePump, HoldWaitReturnsAtOnceWithoutASplash) {
    g_run.splashHold = TRUE;
    WaitSplashHold();
    EXPECT_EQ(0u, sim::Now());
    EXPECT_EQ(0, sim::PeekMessageCalls());
}

TEST_F(MessagePump, SessionEndAndHoldReachTheSplashWhileABoxIsUp) {
    ShowSplash();
    sim::EndSession(sim::At(500));
    sim::AnswerNextBox(IDOK, 4000);
    ShowInstallError(nullptr);
    EXPECT_TRUE(g_run.sessionEnding) << "the box's loop dispatched the session's end";
    EXPECT_FALSE(g_run.splashHold) << "the box's loop dispatched the timer";
}



TEST_F(MessagePump, FallbackBoxIsCaptionedInstallAndWithoutTextReportsACorruptInstallation) {
    ShowInstallError(nullptr);
    ASSERT_EQ(1u, sim::MessageBoxes().size());
    const sim::MessageBoxShown& box = sim::MessageBoxes()[0];
    EXPECT_EQ("Corrupt installation detected.", box.text);
    EXPECT_EQ("Install", box.caption);
    EXPECT_EQ(UINT(MB_OK), box.type);
    EXPECT_EQ(nullptr, box.owner);
    ShowInstallError("Out of disk space.");
    ASSERT_EQ(2u, sim::MessageBoxes().size());
    EXPECT_EQ("Out of disk space.", sim::MessageBoxes()[1].text);
    EXPECT_EQ("Install", sim::MessageBoxes()[1].caption) << "never the product name";
}

TEST_F(MessagePump, ProductBoxIsCaptionedWithTheProductName) {
    sim::AnswerNextBox(IDYES);
    EXPECT_EQ(IDYES, ShowProductMessage("Restart now?", MB_YESNO));
    ASSERT_EQ(1u, sim::MessageBoxes().size());
    const sim::MessageBoxShown& box = sim::MessageBoxes()[0];
    EXPECT_EQ("Restart now?", box.text);
    EXPECT_EQ(kProductName, box.caption);
    EXPECT_EQ(UINT(MB_YESNO), box.type);
    EXPECT_EQ(nullptr, box.owner);
}

TEST_F(MessagePump, EnterOnTheInstalledVersionQuestionAnswersNoAndAFailedBoxZero) {
    EXPECT_EQ(IDNO, ShowProductMessage("Remove it?", MB_YESNO | MB_DEFBUTTON2));
    sim::faults::FailEveryCallOf("MessageBoxA");
    EXPECT_EQ(0, ShowProductMessage("Remove it?", MB_YESNO | MB_DEFBUTTON2)) << "a box that cannot be shown";
}



}  // namespace

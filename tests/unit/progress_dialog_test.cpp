// The progress dialog: opening it from the template, its bar, the Cancel
// button and the close box, and closing it.
#include "sim/windows.h"
#include "ui_fixture.h"

namespace {

class ProgressDialog : public UiTest {
protected:
    void StartOver() override {
        UiTest::StartOver();
        RegisterProgressClass();
    }
    static HWND Bar() { return GetDlgItem(g_run.progressDialog, PROGRESS_BAR_ID); }
};

TEST_F(ProgressDialog, OpensVisibleWithTheProductNameAsCaptionAndTheTemplatesControls) {
    OpenProgressDialog();
    ASSERT_NE(nullptr, g_run.progressDialog);
    auto dialog = sim::WindowOf(g_run.progressDialog);
    ASSERT_TRUE(dialog.has_value());
    EXPECT_TRUE(dialog->visible);
    EXPECT_TRUE(dialog->dialog);
    EXPECT_EQ(std::string(kProductName), dialog->text);
    auto text = sim::WindowOf(GetDlgItem(g_run.progressDialog, 0xFFFF));
    auto bar = sim::WindowOf(Bar());
    auto cancel = sim::WindowOf(GetDlgItem(g_run.progressDialog, IDCANCEL));
    ASSERT_TRUE(text && bar && cancel) << "a control of the template is missing";
    EXPECT_EQ("Static", text->className);
    EXPECT_EQ("The Vesk Installation Wizard is extracting files to your local computer, please wait...", text->text);
    EXPECT_EQ("msctls_progress32", bar->className);
    EXPECT_EQ("Button", cancel->className);
    EXPECT_EQ("Cancel", cancel->text);
}

TEST_F(ProgressDialog, PositionsReachTheBar) {
    OpenProgressDialog();
    EXPECT_EQ(0, SendMessageA(Bar(), PBM_GETPOS, 0, 0)) << "the bar starts at zero";
    SetProgressPosition(6);
    SetProgressPosition(100);
    EXPECT_EQ((std::vector<int>{6, 100}), sim::ProgressPositions());
    EXPECT_EQ(100, SendMessageA(Bar(), PBM_GETPOS, 0, 0));
}

TEST_F(ProgressDialog, WithoutTheProgressBarsClassThereIsNoDialog) {
    sim::Reset();
    g_run.instance = GetModuleHandleA(nullptr);
    OpenProgressDialog();
    EXPECT_EQ(nullptr, g_run.progressDialog);
    auto halfMade = sim::FindWindowOfClass("#32770");
    ASSERT_TRUE(halfMade.has_value());
    EXPECT_FALSE(halfMade->alive) << "the half-made dialog is destroyed again";
    SetProgressPosition(50);
    EXPECT_TRUE(sim::ProgressPositions().empty());
    CloseProgressDialog();
}

TEST_F(ProgressDialog, AnyCommandRequestsCancelAndIsNotHandled) {
    EXPECT_EQ(FALSE, ProgressDlg(nullptr, WM_INITDIALOG, 0, 0));
    EXPECT_FALSE(g_run.cancelRequested) << "only commands cancel";
    EXPECT_EQ(FALSE, ProgressDlg(nullptr, WM_COMMAND, MAKEWPARAM(1234, 5), 0x777));
    EXPECT_TRUE(g_run.cancelRequested);
}

TEST_F(ProgressDialog, CancelButtonCloseBoxAndCloseRequestCancelAndTheDialogStays) {
    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(way == 0 ? "Cancel clicked" : way == 1 ? "close box" : "WM_CLOSE sent from outside");
        StartOver();
        OpenProgressDialog();
        if (way == 0) sim::ClickDialogControl(sim::At(10), IDCANCEL);
        if (way == 1) sim::PostFromOutside(sim::At(10), "#32770", WM_SYSCOMMAND, SC_CLOSE, 0);
        if (way == 2) sim::SendFromOutside(sim::At(10), "#32770", WM_CLOSE, 0, 0);
        PumpUntil(20);
        EXPECT_TRUE(g_run.cancelRequested);
        EXPECT_TRUE(IsWindow(g_run.progressDialog));
        EXPECT_TRUE(sim::WindowOf(g_run.progressDialog)->visible);
    }
}

TEST_F(ProgressDialog, CancelWorksWhileAMessageBoxIsUp) {
    OpenProgressDialog();
    sim::ClickDialogControl(sim::At(300), IDCANCEL);
    ShowProductMessage("Question", MB_YESNO);
    EXPECT_TRUE(g_run.cancelRequested) << "the box has no owner, so the dialog stays enabled";
}

TEST_F(ProgressDialog, CloseDestroysItOnce) {
    OpenProgressDialog();
    HWND dialog = g_run.progressDialog;
    CloseProgressDialog();
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(nullptr, g_run.progressDialog);
    CloseProgressDialog();
    EXPECT_EQ(1, sim::CountDelivered("#32770", WM_DESTROY));
}

}  // namespace

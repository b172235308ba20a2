// The non-blocking message pump and the wait for the splash's minimum
// display time.
#include "ui/ui.h"

void PumpMessages(void) {
    MSG msg;
    // Tested before every retrieval: once the session is ending, nothing
    // more is dispatched and the queue is left alone.
    while (!g_run.sessionEnding && PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void WaitSplashHold(void) {
    // A pump that dispatches nothing could never see the timer, so a session
    // that is ending ends the wait too; a splash window that is gone (even
    // destroyed from outside) has nothing left to hold.
    while (g_run.splashHold && g_run.splashWindow && !g_run.sessionEnding &&
           IsWindow(g_run.splashWindow)) {
        PumpMessages();
    }
}

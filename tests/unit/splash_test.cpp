// The splash window: placement, painting, palette, the hold timer, the
// notices its procedure turns into run flags, and closing it.
#include <algorithm>
#include <functional>

#include "sim/faults.h"
#include "sim/gdi.h"
#include "sim/memory.h"
#include "sim/resources.h"
#include "sim/windows.h"
#include "ui_fixture.h"

namespace {

class Splash : public UiTest {
protected:
    static sim::WindowInfo SplashInfo() {
        auto info = sim::WindowOf(g_run.splashWindow);
        EXPECT_TRUE(info.has_value()) << "the splash window was never created";
        return info.value_or(sim::WindowInfo{});
    }
    static const sim::TextDrawn* TextDrawn(const std::string& text) {
        const auto& texts = sim::TextsDrawn();
        auto it = std::find_if(texts.begin(), texts.end(),
                               [&](const sim::TextDrawn& t) { return t.text == text; });
        return it == texts.end() ? nullptr : &*it;
    }
    static int Count(const std::string& prefix) {
        const auto& trace = sim::Trace();
        return int(std::count_if(trace.begin(), trace.end(), [&](const std::string& line) {
            return line.compare(0, prefix.size(), prefix) == 0;
        }));
    }
};

TEST_F(Splash, IsAVisiblePopupWithThePicturesSizeNamedAfterTheProduct) {
    ShowSplash();
    sim::WindowInfo info = SplashInfo();
    EXPECT_EQ(300, info.width);
    EXPECT_EQ(110, info.height);
    EXPECT_TRUE(info.visible);
    EXPECT_EQ(DWORD(WS_POPUP | WS_VISIBLE), info.style);
    EXPECT_EQ(std::string(kProductName), info.text);
}

TEST_F(Splash, IsCentredOnTheScreen) {
    const struct {
        int screenWidth, screenHeight, x, y;
    } cases[] = {
        {1024, 768, 362, 329},
        {1023, 768, 361, 329},  // the centre is truncated on an odd width
        {200, 100, -50, -5},    // a picture larger than the screen
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.screenWidth) + "x" + std::to_string(c.screenHeight));
        StartOver();
        sim::SetScreenSize(c.screenWidth, c.screenHeight);
        ShowSplash();
        EXPECT_EQ(c.x, SplashInfo().x);
        EXPECT_EQ(c.y, SplashInfo().y);
    }
}

TEST_F(Splash, FontHeightFollowsTheScreensResolution) {
    for (auto [dpi, height] : {std::pair{96, -11}, {120, -13}}) {
        StartOver();
        sim::SetDpi(dpi);
        ShowSplash();
        ASSERT_FALSE(sim::FontsCreated().empty());
        EXPECT_EQ(height, sim::FontsCreated().back().height) << "8 points at " << dpi << " dots per inch";
    }
}

TEST_F(Splash, ProductNameIsDrawnWhiteAtTheTopLeftInTheConfiguredBoldFace) {
    g_settings.fontCharSet = 204;
    ShowSplash();
    ASSERT_FALSE(sim::FontsCreated().empty());
    const sim::FontRequest& font = sim::FontsCreated().back();
    EXPECT_EQ(700, font.weight);
    EXPECT_EQ(204u, font.charSet);
    EXPECT_EQ("MS Sans Serif", font.face);
    EXPECT_EQ(0, font.width);
    EXPECT_EQ(0u, font.italic | font.underline | font.strikeOut);
    EXPECT_EQ(0u, font.outPrecision | font.clipPrecision | font.quality | font.pitchAndFamily);
    const sim::TextDrawn* name = TextDrawn(kProductName);
    ASSERT_NE(nullptr, name) << "the product name was never drawn";
    EXPECT_EQ(8, name->x);
    EXPECT_EQ(6, name->y);
    EXPECT_EQ(0x00FFFFFFu, name->colour) << "white";
    EXPECT_EQ(TRANSPARENT, name->backgroundMode);
    EXPECT_EQ(font.handle, name->font);
}



TEST_F(Splash, InitLineIsCentredFromHalfThePicturesHeight) {
    const int normalWidth = int(std::string(kInitLine).size()) * sim::CharacterWidth(-11);
    for (int width : {normalWidth, 320}) {
        SCOPED_TRACE("a line " + std::to_string(width) + " pixels wide");
        StartOver();
        sim::SetTextWidth(kInitLine, width);
        ShowSplash();
        const sim::TextDrawn* line = TextDrawn(kInitLine);
        ASSERT_NE(nullptr, line) << "the init line was never drawn";
        EXPECT_EQ((300 - width) / 2, line->x) << "a line wider than the picture starts left of it";
        EXPECT_EQ(55, line->y);
        EXPECT_EQ(sim::FontsCreated().back().handle, line->font) << "both lines share one bold font";
    }
}

TEST_F(Splash, PictureIsDrawnOneToOneFromTheProgramsCopyBeforeTheTimerStarts) {
    ShowSplash();
    ASSERT_EQ(1u, sim::BitmapsDrawn().size()) << "creation paints the window once";
    const sim::BitmapDrawn& drawn = sim::BitmapsDrawn()[0];
    EXPECT_EQ(0, drawn.xDest);
    EXPECT_EQ(0, drawn.yDest);
    EXPECT_EQ(300, drawn.destWidth);
    EXPECT_EQ(110, drawn.destHeight);
    EXPECT_EQ(300, drawn.srcWidth);
    EXPECT_EQ(110, drawn.srcHeight);
    const std::vector<uint8_t>& resource = *sim::ResourceBytes(2, 111);
    const auto* copy = reinterpret_cast<const uint8_t*>(drawn.info);
    EXPECT_TRUE(std::equal(resource.begin(), resource.end(), copy)) << "the picture whole";
    EXPECT_EQ(copy + 40 + 64, drawn.bits) << "the rows after the header and 16 colours";
    EXPECT_EQ(UINT(DIB_RGB_COLORS), drawn.usage);
    EXPECT_EQ(DWORD(SRCCOPY), drawn.rop);
    EXPECT_NE(sim::ResourceBytes(2, 111)->data(), drawn.bits) << "the copy, not the resource";
    EXPECT_EQ(0, sim::OpenDeviceContexts()) << "the paint leaves no device context behind";
    EXPECT_FALSE(sim::IsLiveGdiObject(sim::FontsCreated().back().handle)) << "nor its font";
    EXPECT_EQ(0, sim::ObjectsDeletedWhileSelected());
    int timer = sim::FindTrace("SetTimer 8297 3000");
    ASSERT_NE(-1, timer);
    EXPECT_LT(sim::FindTrace("StretchDIBits"), timer) << "painted before its timer starts";
    EXPECT_TRUE(g_run.splashHold);
}

TEST_F(Splash, PaletteComesFromTheColourTable) {
    ShowSplash();
    ASSERT_EQ(1u, sim::PalettesCreated().size());
    const sim::PaletteMade& palette = sim::PalettesCreated()[0];
    EXPECT_EQ(0x300, palette.version);
    ASSERT_EQ(16u, palette.entries.size());
    const uint8_t* table = sim::ResourceBytes(2, 111)->data() + 40;
    for (size_t i = 0; i < 16; ++i) {
        EXPECT_EQ(table[4 * i + 2], palette.entries[i].peRed) << "entry " << i;
        EXPECT_EQ(table[4 * i + 1], palette.entries[i].peGreen) << "entry " << i;
        EXPECT_EQ(table[4 * i], palette.entries[i].peBlue) << "entry " << i;
        EXPECT_EQ(0, palette.entries[i].peFlags) << "entry " << i;
    }
    // The paint selects it, then gives it back in the background.
    const auto& selections = sim::PaletteSelections();
    ASSERT_EQ(2u, selections.size());
    EXPECT_EQ(palette.handle, selections[0].palette);
    EXPECT_FALSE(selections[0].forceBackground);
    EXPECT_NE(palette.handle, selections[1].palette);
    EXPECT_TRUE(selections[1].forceBackground);
    EXPECT_EQ(1, sim::RealizeCalls()) << "the previous palette is not realised again";
}

TEST_F(Splash, NewOrChangedPalettesAreRealised) {
    sim::SetRealizedColours(5);
    ShowSplash();
    int paintsBefore = int(sim::BitmapsDrawn().size());
    EXPECT_EQ(5, SendMessageA(g_run.splashWindow, WM_QUERYNEWPALETTE, 0, 0));
    UpdateWindow(g_run.splashWindow);
    EXPECT_EQ(paintsBefore + 1, int(sim::BitmapsDrawn().size())) << "a changed palette repaints";
    EXPECT_EQ(0, sim::OpenDeviceContexts());
    int realized = sim::RealizeCalls();
    EXPECT_EQ(0, SendMessageA(g_run.splashWindow, WM_PALETTECHANGED, reinterpret_cast<WPARAM>(g_run.splashWindow), 0));
    EXPECT_EQ(realized, sim::RealizeCalls()) << "a palette change by the window itself is ignored";
    EXPECT_EQ(5, SendMessageA(g_run.splashWindow, WM_PALETTECHANGED, 0x12345, 0));
    EXPECT_EQ(realized + 2, sim::RealizeCalls()) << "another's change: foreground, then the previous palette";
}

TEST_F(Splash, WithoutAPaletteNothingIsRealised) {
    sim::faults::FailEveryCallOf("CreatePalette");
    ShowSplash();
    EXPECT_TRUE(sim::PaletteSelections().empty());
    EXPECT_EQ(0, SendMessageA(g_run.splashWindow, WM_QUERYNEWPALETTE, 0, 0));
    EXPECT_EQ(0, sim::RealizeCalls());
    EXPECT_EQ(1u, sim::BitmapsDrawn().size()) << "the picture is drawn all the same";
}

TEST_F(Splash, CloseCommandSetsCancelAndTheWindowStaysOtherCommandsAreDefault) {
    ShowSplash();
    EXPECT_EQ(0, SendMessageA(g_run.splashWindow, WM_SYSCOMMAND, SC_CLOSE, 0));
    EXPECT_TRUE(g_run.cancelRequested);
    EXPECT_TRUE(IsWindow(g_run.splashWindow));
    // Compared whole: SC_CLOSE with a low bit set is not the close command,
    // and the default procedure closes the window on it.
    g_run.cancelRequested = FALSE;
    SendMessageA(g_run.splashWindow, WM_SYSCOMMAND, SC_CLOSE | 2, 0);
    EXPECT_FALSE(g_run.cancelRequested) << "another system command";
    EXPECT_FALSE(IsWindow(g_run.splashWindow)) << "another system command goes to the default procedure";
}

TEST_F(Splash, OnlyTheSessionsEndSetsSessionEndingAndTheBackgroundIsNeverErased) {
    ShowSplash();
    EXPECT_EQ(1, SendMessageA(g_run.splashWindow, WM_QUERYENDSESSION, 0, 0));
    EXPECT_FALSE(g_run.sessionEnding) << "a question another program may still refuse";
    EXPECT_EQ(0, SendMessageA(g_run.splashWindow, WM_ENDSESSION, FALSE, 0));
    EXPECT_FALSE(g_run.sessionEnding) << "the end called off";
    EXPECT_EQ(0, SendMessageA(g_run.splashWindow, WM_ENDSESSION, TRUE, 0));
    EXPECT_TRUE(g_run.sessionEnding);
    EXPECT_EQ(1, SendMessageA(g_run.splashWindow, WM_ERASEBKGND, 0, 0)) << "the background is never erased";
}

TEST_F(Splash, HoldEndsWithTheFirstTimerMessageAndASecondChangesNothing) {
    ShowSplash();
    PumpUntil(2999);
    EXPECT_TRUE(g_run.splashHold);
    PumpUntil(3001);
    EXPECT_FALSE(g_run.splashHold);
    sim::WindowInfo before = SplashInfo();
    PumpUntil(6001);
    EXPECT_EQ(2, sim::CountDelivered(SPLASH_CLASS_NAME, WM_TIMER)) << "the timer keeps firing";
    EXPECT_FALSE(g_run.splashHold);
    EXPECT_FALSE(g_run.cancelRequested);
    EXPECT_FALSE(g_run.sessionEnding);
    EXPECT_TRUE(SplashInfo().visible);
    EXPECT_EQ(before.x, SplashInfo().x);
}

TEST_F(Splash, HiddenAndShownAgain) {
    ShowSplash();
    int paints = int(sim::BitmapsDrawn().size());
    SetSplashVisible(FALSE);
    EXPECT_FALSE(SplashInfo().visible);
    SetSplashVisible(TRUE);
    EXPECT_TRUE(SplashInfo().visible);
    EXPECT_EQ(paints + 1, int(sim::BitmapsDrawn().size())) << "shown again, painted at once";
}

TEST_F(Splash, CloseReleasesEverythingAfterTheWindowIsGone) {
    ShowSplash();
    int blocks = sim::memory::LiveBlocks();
    ASSERT_EQ(1u, sim::PalettesCreated().size());
    HPALETTE palette = sim::PalettesCreated()[0].handle;
    CloseSplash();
    int destroyed = sim::FindTrace("DestroyWindow " SPLASH_CLASS_NAME);
    int paletteDeleted = sim::FindTrace("DeleteObject palette");
    int slept = sim::FindTrace("Sleep 100");
    ASSERT_NE(-1, destroyed);
    EXPECT_LT(destroyed, paletteDeleted);
    EXPECT_LT(paletteDeleted, slept);
    EXPECT_EQ(blocks - 1, sim::memory::LiveBlocks()) << "the picture's copy is freed";
    EXPECT_FALSE(sim::IsLiveGdiObject(palette));
    EXPECT_EQ(nullptr, g_run.splashWindow);
    EXPECT_FALSE(sim::QuitPending()) << "the quit message the window posted is consumed";
}

TEST_F(Splash, ClosingTwiceDoesNothingTheSecondTime) {
    ShowSplash();
    CloseSplash();
    size_t traced = sim::Trace().size();
    uint64_t now = sim::Now();
    CloseSplash();
    EXPECT_EQ(traced, sim::Trace().size());
    EXPECT_EQ(now, sim::Now());
}

TEST_F(Splash, AMissingOrUnusablePictureMeansNoWindow) {
    const struct {
        const char* name;
        std::function<void()> arrange;
    } cases[] = {
        {"no picture", [] { sim::RemoveResource(2, 111); }},
        {"the last pixel row one byte short",
         [] {
             std::vector<uint8_t> cut = *sim::ResourceBytes(2, 111);
             cut.resize(cut.size() - 1);
             sim::ReplaceResource(2, 111, cut);
         }},
        {"8 bits per pixel: a 256-entry table and rows that are not there",
         [] {
             std::vector<uint8_t> bytes = *sim::ResourceBytes(2, 111);
             bytes[14] = 8;
             sim::ReplaceResource(2, 111, bytes);
         }},
        {"no memory for the copy", [] { sim::faults::FailEveryCallOf("GlobalAlloc"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        c.arrange();
        ShowSplash();
        EXPECT_EQ(nullptr, g_run.splashWindow);
        EXPECT_TRUE(sim::PalettesCreated().empty());
        EXPECT_FALSE(g_run.splashHold);
        EXPECT_EQ(0, sim::CountWindowsOfClass(SPLASH_CLASS_NAME));
        EXPECT_EQ(0, sim::ResourcesHeld()) << "the resource is given back";
        CloseSplash();
        EXPECT_EQ(-1, sim::FindTrace("Sleep")) << "closing no splash does nothing";
    }
}

TEST_F(Splash, WindowThatCannotBeCreatedLeavesNoTimerAndNoHold) {
    LoadSplashBitmap();
    CreateSplash();  // the class was never registered
    EXPECT_EQ(nullptr, g_run.splashWindow);
    EXPECT_FALSE(g_run.splashHold);
    EXPECT_EQ(-1, sim::FindTrace("SetTimer"));
    WaitSplashHold();
    EXPECT_EQ(0u, sim::Now());
}

TEST_F(Splash, WithoutATimerThereIsNoHoldToWaitFor) {
    sim::faults::FailEveryCallOf("SetTimer");
    ShowSplash();
    EXPECT_TRUE(IsWindow(g_run.splashWindow));
    EXPECT_FALSE(g_run.splashHold) << "no timer would ever end it";
    uint64_t shown = sim::Now();
    WaitSplashHold();
    EXPECT_EQ(shown, sim::Now());
}

TEST_F(Splash, ClassCarriesTheProgramsIconAndTheArrowCursorAndARefusalIsReported) {
    LoadSplashBitmap();
    RegisterSplashClass();
    EXPECT_NE(-1, sim::FindTrace("LoadIconA #108"));
    EXPECT_EQ(-1, sim::FindTrace("LoadIconA #108 missing"));
    EXPECT_NE(-1, sim::FindTrace("LoadCursorA #32512"));
    StartOver();
    sim::RefuseClassRegistration(SPLASH_CLASS_NAME);
    LoadSplashBitmap();
    EXPECT_EQ(0, RegisterSplashClass()) << "a refused class is reported";
}

TEST_F(Splash, WindowClosedFromOutsideEndsTheHoldAndCloseStaysHarmless) {
    ShowSplash();
    sim::PostFromOutside(sim::At(500), SPLASH_CLASS_NAME, WM_CLOSE, 0, 0);
    WaitSplashHold();
    EXPECT_LT(sim::Now(), 600u) << "the wait ends with the window";
    EXPECT_FALSE(IsWindow(g_run.splashWindow));
    int blocks = sim::memory::LiveBlocks();
    CloseSplash();
    EXPECT_EQ(blocks - 1, sim::memory::LiveBlocks());
    EXPECT_EQ(1, Count("DestroyWindow " SPLASH_CLASS_NAME)) << "only the close destroyed it";
    EXPECT_EQ(nullptr, g_run.splashWindow);
}

}  // namespace

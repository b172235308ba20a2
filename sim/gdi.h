// The simulated display and GDI: screen size and resolution set by the test,
// device contexts, fonts, palettes, and a record of everything drawn, with
// deterministic text metrics.
#pragma once

#include <string>
#include <vector>

#include "win32/api.h"

namespace sim {

// The screen: 1024 x 768 at 96 dots per inch unless a test says otherwise.
void SetScreenSize(int width, int height);
void SetDpi(int dotsPerInch);
int ScreenWidth();
int ScreenHeight();
int Dpi();

// Text metrics: a character is (|font height| + 1) / 2 pixels wide and
// |font height| pixels high (the stock font: 8 x 16). A test can force the
// width of one text.
void SetTextWidth(const std::string& text, int width);
int CharacterWidth(int fontHeight);

// Palettes: RealizePalette reports this many changed entries (default 0, as
// on a true-colour display).
void SetRealizedColours(UINT count);

struct FontRequest {
    HFONT handle = nullptr;
    int height = 0, width = 0, escapement = 0, orientation = 0, weight = 0;
    DWORD italic = 0, underline = 0, strikeOut = 0, charSet = 0;
    DWORD outPrecision = 0, clipPrecision = 0, quality = 0, pitchAndFamily = 0;
    std::string face;
};
struct TextDrawn {
    HDC dc = nullptr;
    int x = 0, y = 0;
    std::string text;
    HFONT font = nullptr;
    COLORREF colour = 0;
    int backgroundMode = 0;
};
struct BitmapDrawn {
    HDC dc = nullptr;
    int xDest = 0, yDest = 0, destWidth = 0, destHeight = 0;
    int xSrc = 0, ySrc = 0, srcWidth = 0, srcHeight = 0;
    const void* bits = nullptr;
    const BITMAPINFO* info = nullptr;
    UINT usage = 0;
    DWORD rop = 0;
};
struct PaletteMade {
    HPALETTE handle = nullptr;
    WORD version = 0;
    std::vector<PALETTEENTRY> entries;
};
struct PaletteSelected {
    HDC dc = nullptr;
    HPALETTE palette = nullptr;
    BOOL forceBackground = FALSE;
};

const std::vector<FontRequest>& FontsCreated();
const std::vector<TextDrawn>& TextsDrawn();
const std::vector<BitmapDrawn>& BitmapsDrawn();
const std::vector<PaletteMade>& PalettesCreated();
const std::vector<PaletteSelected>& PaletteSelections();
int RealizeCalls();

// Leaks: device contexts not released, fonts and palettes not deleted.
int OpenDeviceContexts();
int LiveGdiObjects();
bool IsLiveGdiObject(HGDIOBJ object);
// Objects deleted while still selected into a device context.
int ObjectsDeletedWhileSelected();

}  // namespace sim

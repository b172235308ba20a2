// Device contexts, GDI objects and drawing, recorded for the tests.
#include "sim/gdi.h"

#include <cstdlib>
#include <map>

#include "sim/faults.h"
#include "sim/sim.h"
#include "sim/window_internals.h"

namespace sim {
namespace {

enum class Kind { Font, Palette };

struct GdiObject {
    Kind kind;
    int fontHeight = 0;
    bool alive = true;
};

struct DeviceContext {
    HWND window = nullptr;
    HGDIOBJ font = nullptr;
    HPALETTE palette = nullptr;
    int backgroundMode = OPAQUE;
    COLORREF textColour = 0;
};

struct Gdi {
    int screenWidth = 1024;
    int screenHeight = 768;
    int dpi = 96;
    UINT realizedColours = 0;
    std::map<std::string, int> textWidths;
    std::map<uintptr_t, GdiObject> objects;
    std::map<uintptr_t, DeviceContext> dcs;  // open ones only
    uintptr_t nextHandle = 0x20000;
    std::vector<FontRequest> fonts;
    std::vector<TextDrawn> texts;
    std::vector<BitmapDrawn> bitmaps;
    std::vector<PaletteMade> palettes;
    std::vector<PaletteSelected> selections;
    int realizeCalls = 0;
    int deletedWhileSelected = 0;
};

Gdi& State() {
    static Gdi state;
    return state;
}

Registration reg([] { State() = Gdi{}; });

// Stock objects live at fixed handles that are never deleted.
constexpr uintptr_t kStockBase = 0x9000;
HGDIOBJ Stock(int index) { return reinterpret_cast<HGDIOBJ>(kStockBase + 4 * uintptr_t(index)); }

uintptr_t Key(const void* handle) { return reinterpret_cast<uintptr_t>(handle); }

uintptr_t NewHandle() { return State().nextHandle += 4; }

DeviceContext* FindDc(HDC dc) {
    auto it = State().dcs.find(Key(dc));
    return it == State().dcs.end() ? nullptr : &it->second;
}

GdiObject* FindObject(HGDIOBJ object) {
    auto it = State().objects.find(Key(object));
    return it == State().objects.end() || !it->second.alive ? nullptr : &it->second;
}

int FontHeightOf(HGDIOBJ font) {
    GdiObject* object = FindObject(font);
    return object && object->kind == Kind::Font ? object->fontHeight : 0;
}

}  // namespace

HDC OpenDeviceContext(HWND window) {
    HDC dc = reinterpret_cast<HDC>(NewHandle());
    State().dcs[Key(dc)] = DeviceContext{window, Stock(SYSTEM_FONT),
                                         static_cast<HPALETTE>(Stock(DEFAULT_PALETTE)), OPAQUE, 0};
    return dc;
}

void CloseDeviceContext(HDC dc) { State().dcs.erase(Key(dc)); }

void SetScreenSize(int width, int height) {
    State().screenWidth = width;
    State().screenHeight = height;
}
void SetDpi(int dotsPerInch) { State().dpi = dotsPerInch; }
int ScreenWidth() { return State().screenWidth; }
int ScreenHeight() { return State().screenHeight; }
int Dpi() { return State().dpi; }

void SetTextWidth(const std::string& text, int width) { State().textWidths[text] = width; }
int CharacterWidth(int fontHeight) { return fontHeight ? (std::abs(fontHeight) + 1) / 2 : 8; }

void SetRealizedColours(UINT count) { State().realizedColours = count; }

const std::vector<FontRequest>& FontsCreated() { return State().fonts; }
const std::vector<TextDrawn>& TextsDrawn() { return State().texts; }
const std::vector<BitmapDrawn>& BitmapsDrawn() { return State().bitmaps; }
const std::vector<PaletteMade>& PalettesCreated() { return State().palettes; }
const std::vector<PaletteSelected>& PaletteSelections() { return State().selections; }
int RealizeCalls() { return State().realizeCalls; }

int OpenDeviceContexts() { return int(State().dcs.size()); }
int LiveGdiObjects() {
    int live = 0;
    for (const auto& [handle, object] : State().objects) live += object.alive ? 1 : 0;
    return live;
}
bool IsLiveGdiObject(HGDIOBJ object) { return FindObject(object) != nullptr; }
int ObjectsDeletedWhileSelected() { return State().deletedWhileSelected; }

}  // namespace sim

extern "C" {

HDC WINAPI GetDC(HWND window) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<HDC>();
    if (window && !IsWindow(window)) return nullptr;
    return sim::OpenDeviceContext(window);
}

int WINAPI ReleaseDC(HWND, HDC dc) {
    const sim::faults::Call call(__func__);
    if (!sim::FindDc(dc)) return 0;
    sim::CloseDeviceContext(dc);
    return 1;
}

int WINAPI GetDeviceCaps(HDC dc, int index) {
    const sim::faults::Call call(__func__);
    if (!sim::FindDc(dc)) return 0;
    switch (index) {
    case HORZRES:
        return sim::State().screenWidth;
    case VERTRES:
        return sim::State().screenHeight;
    case LOGPIXELSX:
    case LOGPIXELSY:
        return sim::State().dpi;
    default:
        return 0;
    }
}

HGDIOBJ WINAPI GetStockObject(int index) {
    const sim::faults::Call call(__func__);
    return sim::Stock(index);
}

HPALETTE WINAPI CreatePalette(const LOGPALETTE* logical) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<HPALETTE>();
    auto& state = sim::State();
    if (!logical) return nullptr;
    HPALETTE palette = reinterpret_cast<HPALETTE>(sim::NewHandle());
    state.objects[sim::Key(palette)] = sim::GdiObject{sim::Kind::Palette};
    sim::PaletteMade made{palette, logical->palVersion, {}};
    for (WORD i = 0; i < logical->palNumEntries; ++i) made.entries.push_back(logical->palPalEntry[i]);
    state.palettes.push_back(made);
    sim::Record("CreatePalette " + std::to_string(logical->palNumEntries));
    return palette;
}

HPALETTE WINAPI SelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<HPALETTE>();
    sim::DeviceContext* context = sim::FindDc(dc);
    bool stock = sim::Key(palette) == sim::Key(sim::Stock(DEFAULT_PALETTE));
    if (!context || (!stock && !sim::FindObject(palette))) return nullptr;
    sim::State().selections.push_back({dc, palette, forceBackground});
    HPALETTE previous = context->palette;
    context->palette = palette;
    return previous;
}

UINT WINAPI RealizePalette(HDC dc) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<UINT>();
    sim::DeviceContext* context = sim::FindDc(dc);
    if (!context) return GDI_ERROR;
    ++sim::State().realizeCalls;
    sim::Record("RealizePalette");
    bool stock = sim::Key(context->palette) == sim::Key(sim::Stock(DEFAULT_PALETTE));
    return stock ? 0 : sim::State().realizedColours;
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    const sim::faults::Call call(__func__);
    sim::GdiObject* found = sim::FindObject(object);
    if (!found) return FALSE;
    for (const auto& [key, context] : sim::State().dcs)
        if (sim::Key(context.font) == sim::Key(object) || sim::Key(context.palette) == sim::Key(object))
            ++sim::State().deletedWhileSelected;
    found->alive = false;
    sim::Record(found->kind == sim::Kind::Font ? "DeleteObject font" : "DeleteObject palette");
    return TRUE;
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<HGDIOBJ>();
    sim::DeviceContext* context = sim::FindDc(dc);
    bool stock = sim::Key(object) >= sim::kStockBase && sim::Key(object) < sim::kStockBase + 0x100;
    if (!context || (!stock && !sim::FindObject(object))) return nullptr;
    HGDIOBJ previous = context->font;
    context->font = object;
    return previous;
}

HFONT WINAPI CreateFontA(int height, int width, int escapement, int orientation, int weight,
                         DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                         DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                         DWORD pitchAndFamily, LPCSTR face) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<HFONT>();
    auto& state = sim::State();
    HFONT font = reinterpret_cast<HFONT>(sim::NewHandle());
    state.objects[sim::Key(font)] = sim::GdiObject{sim::Kind::Font, height};
    state.fonts.push_back({font, height, width, escapement, orientation, weight, italic, underline,
                           strikeOut, charSet, outPrecision, clipPrecision, quality,
                           pitchAndFamily, face ? face : ""});
    sim::Record("CreateFontA " + std::to_string(height) + " " + (face ? face : ""));
    return font;
}

int WINAPI SetBkMode(HDC dc, int mode) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<int>();
    sim::DeviceContext* context = sim::FindDc(dc);
    if (!context) return 0;
    int previous = context->backgroundMode;
    context->backgroundMode = mode;
    return previous;
}

COLORREF WINAPI SetTextColor(HDC dc, COLORREF colour) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<COLORREF>();
    sim::DeviceContext* context = sim::FindDc(dc);
    if (!context) return 0xFFFFFFFFu;  // CLR_INVALID
    COLORREF previous = context->textColour;
    context->textColour = colour;
    return previous;
}

BOOL WINAPI TextOutA(HDC dc, int x, int y, LPCSTR text, int count) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<BOOL>();
    sim::DeviceContext* context = sim::FindDc(dc);
    if (!context || !text || count < 0) return FALSE;
    std::string drawn(text, size_t(count));
    sim::State().texts.push_back({dc, x, y, drawn, static_cast<HFONT>(context->font),
                                  context->textColour, context->backgroundMode});
    sim::Record("TextOutA " + std::to_string(x) + " " + std::to_string(y) + " " + drawn);
    return TRUE;
}

BOOL WINAPI GetTextExtentPointA(HDC dc, LPCSTR text, int count, LPSIZE size) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<BOOL>();
    sim::DeviceContext* context = sim::FindDc(dc);
    if (!context || !text || !size || count < 0) return FALSE;
    int height = sim::FontHeightOf(context->font);
    std::string measured(text, size_t(count));
    auto forced = sim::State().textWidths.find(measured);
    size->cx = forced != sim::State().textWidths.end() ? forced->second
                                                       : count * sim::CharacterWidth(height);
    size->cy = height ? std::abs(height) : 16;
    return TRUE;
}

int WINAPI StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc,
                         int ySrc, int srcWidth, int srcHeight, const void* bits,
                         const BITMAPINFO* info, UINT usage, DWORD rop) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<int>();
    if (!sim::FindDc(dc) || !bits || !info) return 0;
    sim::State().bitmaps.push_back({dc, xDest, yDest, destWidth, destHeight, xSrc, ySrc, srcWidth,
                                    srcHeight, bits, info, usage, rop});
    sim::Record("StretchDIBits");
    return srcHeight;
}

}  // extern "C"

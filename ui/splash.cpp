// The splash window: the picture with the product name and the init line,
// held for a minimum time, and the procedure that turns session-end notices
// and the close command into run flags.
#include "ui/ui.h"

#include "base/resume_entry.h"
#include "base/text.h"

#define BITMAP_HEADER_SIZE 40
// The pixel rows follow a full 16-entry colour table.
#define BITMAP_COLOUR_TABLE_SIZE 64
#define WHITE 0x00FFFFFF

// A copy of the picture and its palette, from start-up until the window closes.
RUN_STATE BYTE* s_splashBitmap;
RUN_STATE HGLOBAL s_splashBitmapMemory;
RUN_STATE HPALETTE s_splashPalette;

static LONG BitmapWidth(const BYTE* bitmap) { return (LONG)LoadDword(bitmap + 4); }
static LONG BitmapHeight(const BYTE* bitmap) { return (LONG)LoadDword(bitmap + 8); }
static WORD BitmapBitCount(const BYTE* bitmap) { return LoadWord(bitmap + 14); }
static const BYTE* BitmapPixels(const BYTE* bitmap) {
    return bitmap + LoadDword(bitmap) + BITMAP_COLOUR_TABLE_SIZE;
}

// Everything the window reads from the picture must lie inside the
// resource: header, colour table and every pixel row. A picture that does
// not fit is treated as missing.
static BOOL BitmapFits(const BYTE* bitmap, DWORD size) {
    if (size < BITMAP_HEADER_SIZE + BITMAP_COLOUR_TABLE_SIZE) return FALSE;
    DWORD headerSize = LoadDword(bitmap);
    LONG width = BitmapWidth(bitmap);
    LONG height = BitmapHeight(bitmap);
    WORD bits = BitmapBitCount(bitmap);
    if (headerSize < BITMAP_HEADER_SIZE || headerSize > size || width <= 0 || height <= 0 ||
        width > 0x4000 || height > 0x4000 || bits == 0 || bits > 32)
        return FALSE;
    if (bits <= 8 && BITMAP_HEADER_SIZE + (4u << bits) > size) return FALSE;
    DWORD stride = (((DWORD)width * bits + 31) / 32) * 4;
    DWORD pixelsAt = headerSize + BITMAP_COLOUR_TABLE_SIZE;
    return pixelsAt <= size && stride * (DWORD)height <= size - pixelsAt;
}

void LoadSplashBitmap(void) {
    HRSRC found = FindResourceA(g_run.instance, MAKEINTRESOURCEA(RESOURCE_BITMAP), RT_BITMAP);
    if (!found) return;
    DWORD size = SizeofResource(g_run.instance, found);
    HGLOBAL resource = LoadResource(g_run.instance, found);
    const BYTE* bytes = (const BYTE*)LockResource(resource);
    if (!bytes || !BitmapFits(bytes, size)) {
        if (resource) FreeResource(resource);
        return;
    }
    s_splashBitmap = (BYTE*)AllocateLocked(GMEM_MOVEABLE, size, &s_splashBitmapMemory);
    if (s_splashBitmap) CopyBytes(s_splashBitmap, bytes, size);
    FreeResource(resource);
}

ATOM RegisterSplashClass(void) {
    WNDCLASSA windowClass;
    FillBytes(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = g_run.instance;
    windowClass.hIcon = LoadIconA(g_run.instance, MAKEINTRESOURCEA(RESOURCE_ICON));
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    windowClass.lpszClassName = SPLASH_CLASS_NAME;
    return RegisterClassA(&windowClass);
}

static void CreateSplashPalette(void) {
    WORD bits = BitmapBitCount(s_splashBitmap);
    if (bits > 8) return;
    UINT entries = 1u << bits;
    HGLOBAL memory;
    BYTE* logical = (BYTE*)AllocateLocked(GHND, 4 * entries + 8, &memory);
    if (logical) {
        LOGPALETTE* palette = (LOGPALETTE*)logical;
        palette->palVersion = 0x300;
        palette->palNumEntries = (WORD)entries;
        // The colour table holds blue, green, red; a palette entry red,
        // green, blue, flags.
        const BYTE* table = s_splashBitmap + BITMAP_HEADER_SIZE;
        BYTE* entry = logical + 4;
        for (UINT i = 0; i < entries; ++i, entry += 4, table += 4) {
            entry[0] = table[2];
            entry[1] = table[1];
            entry[2] = table[0];
            entry[3] = 0;
        }
        s_splashPalette = CreatePalette(palette);
    }
    ReleaseLocked(&memory);
}

void CreateSplash(void) {
    HDC screen = GetDC(NULL);
    int screenWidth = GetDeviceCaps(screen, HORZRES);
    int screenHeight = GetDeviceCaps(screen, VERTRES);
    ReleaseDC(NULL, screen);
    // Where no one watches there is nothing to show, and no hold to wait out.
    if (!s_splashBitmap || g_run.attendance >= UNATTENDED_SILENT) return;

    CreateSplashPalette();
    // A pop-up window turns the default position and size into (0, 0) and
    // 0 x 0; the real place is set right after.
    g_run.splashWindow = CreateWindowExA(0, SPLASH_CLASS_NAME, ProductName(), WS_POPUP | WS_VISIBLE,
                                         CW_USEDEFAULT, 100, CW_USEDEFAULT, 100, NULL, NULL,
                                         g_run.instance, NULL);
    // Without a window there is nothing to place, paint or time; a timer on
    // no window would become a thread timer.
    if (!g_run.splashWindow) return;
    LONG width = BitmapWidth(s_splashBitmap);
    LONG height = BitmapHeight(s_splashBitmap);
    SetWindowPos(g_run.splashWindow, NULL, (screenWidth - width) / 2, (screenHeight - height) / 2, width, height,
                 SWP_NOZORDER);
    UpdateWindow(g_run.splashWindow);
    // Held only while a timer will end the hold: without one the wait for
    // it would never end.
    g_run.splashHold = SetTimer(g_run.splashWindow, SPLASH_TIMER_ID, SPLASH_HOLD_MS, NULL) != 0;
}

static void DrawSplashText(HDC dc, const BYTE* bitmap) {
    LONG width = BitmapWidth(bitmap);
    LONG height = BitmapHeight(bitmap);
    // A negative height asks for the character height in points at the
    // device's resolution.
    HFONT font = CreateFontA(-MulDiv(g_settings.fontPointSize, GetDeviceCaps(dc, LOGPIXELSY), 72), 0,
                             0, 0, FW_BOLD, FALSE, FALSE, FALSE, g_settings.fontCharSet,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, FontFace());
    StretchDIBits(dc, 0, 0, width, height, 0, 0, width, height, BitmapPixels(bitmap),
                  (const BITMAPINFO*)bitmap, DIB_RGB_COLORS, SRCCOPY);
    HGDIOBJ previousFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, WHITE);

    LPCSTR name = ProductName();
    TextOutA(dc, 8, 6, name, (int)BoundedLength(name, TEXT_BLOCK_FIELD));
    LPCSTR line = InitLine();
    int length = (int)BoundedLength(line, TEXT_BLOCK_FIELD);
    SIZE extent;
    extent.cx = 0;
    extent.cy = 0;
    GetTextExtentPointA(dc, line, length, &extent);
    TextOutA(dc, (width - extent.cx) / 2, height / 2, line, length);

    SelectObject(dc, previousFont);
    DeleteObject(font);
}

static void PaintSplash(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    HPALETTE previousPalette = NULL;
    if (s_splashPalette) {
        previousPalette = SelectPalette(dc, s_splashPalette, FALSE);
        RealizePalette(dc);
    }
    if (s_splashBitmap) DrawSplashText(dc, s_splashBitmap);
    if (s_splashPalette) SelectPalette(dc, previousPalette, TRUE);
    EndPaint(window, &paint);
}

static LRESULT RealizeSplashPalette(HWND window) {
    if (!s_splashPalette) return 0;
    HDC dc = GetDC(window);
    if (!dc) return 0;
    HPALETTE previous = SelectPalette(dc, s_splashPalette, FALSE);
    UINT changed = RealizePalette(dc);
    // A failed realisation changed nothing.
    if (changed == GDI_ERROR) changed = 0;
    if (changed) InvalidateRect(window, NULL, TRUE);
    SelectPalette(dc, previous, TRUE);
    RealizePalette(dc);
    ReleaseDC(window, dc);
    return (LRESULT)changed;
}

extern "C" LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY:
        // Whoever destroys the window, its hold is over: a window closed
        // from outside must not leave the run waiting for its timer.
        g_run.splashHold = FALSE;
        PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        InvalidateRect(window, NULL, TRUE);
        return 0;
    case WM_PAINT:
        PaintSplash(window);
        return 0;
    case WM_QUERYENDSESSION:
        // Only a question: another program may still refuse, and the
        // session then goes on.
        return 1;
    case WM_ERASEBKGND:
        return 1;
    case WM_ENDSESSION:
        // FALSE: the end was called off.
        if (!wParam) return 0;
        g_run.sessionEnding = TRUE;
        // Windows may end the process as soon as this returns: a setup
        // waiting for a child is registered to resume now.
        if (g_run.resumeProductCode) {
            RegisterResume(g_run.resumeProductCode);
            g_run.resumeProductCode = NULL;
        }
        return 0;
    case WM_SYSCOMMAND:
        if (wParam == SC_CLOSE) {
            // Only recorded: the window stays, the run decides.
            g_run.cancelRequested = TRUE;
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_TIMER:
        g_run.splashHold = FALSE;
        return 0;
    case WM_QUERYNEWPALETTE:
        return RealizeSplashPalette(window);
    case WM_PALETTECHANGED:
        if ((HWND)wParam == window) return 0;
        return RealizeSplashPalette(window);
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

void SetSplashVisible(BOOL visible) {
    if (!g_run.splashWindow) return;
    if (visible) {
        ShowWindow(g_run.splashWindow, SW_SHOW);
        UpdateWindow(g_run.splashWindow);
    } else {
        ShowWindow(g_run.splashWindow, SW_HIDE);
    }
}

void CloseSplash(void) {
    if (!g_run.splashWindow) return;
    // The window goes first, and the messages its end causes (the quit
    // message among them) are handled before its picture and palette are
    // released. A window already destroyed from outside fails harmlessly.
    DestroyWindow(g_run.splashWindow);
    PumpMessages();
    ReleaseLocked(&s_splashBitmapMemory);
    s_splashBitmap = NULL;
    g_run.splashWindow = NULL;
    if (s_splashPalette) DeleteObject(s_splashPalette);
    s_splashPalette = NULL;
    Sleep(100);
    PumpMessages();
}

// Window classes and windows: creation, placement, showing, painting,
// destruction and the default window procedure, with the messages each of
// these sends on the platform.
#include "sim/windows.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>

#include "sim/faults.h"
#include "sim/installer.h"
#include "sim/sim.h"
#include "sim/window_internals.h"

namespace sim {
namespace {

// Flags the platform adds to WINDOWPOS when the client area kept its place
// or size; the default procedure then sends no WM_MOVE or WM_SIZE.
constexpr UINT kNoClientSize = 0x0800;
constexpr UINT kNoClientMove = 0x1000;

struct WindowClass {
    std::string name;
    WNDPROC procedure = nullptr;
    HBRUSH background = nullptr;
    bool system = false;  // the platform's own procedure, not the program's
};

struct Window {
    WindowInfo info;
    WNDPROC procedure = nullptr;
    bool systemProcedure = false;
    DLGPROC dialogProcedure = nullptr;
    HBRUSH background = nullptr;
    bool needsPaint = false;
    bool needsErase = false;
    bool destroying = false;
};

struct Windowing {
    std::map<std::string, WindowClass> classes;  // by lower-case name
    std::set<std::string> refused;
    std::vector<Window> windows;                 // index + 1 is the handle's number
    std::vector<DeliveredMessage> delivered;
};

Windowing& State() {
    static Windowing state;
    return state;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

HWND HandleOf(size_t index) { return reinterpret_cast<HWND>(uintptr_t(0x10000 + 4 * (index + 1))); }

Window* Find(HWND handle) {
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value <= 0x10000 || (value & 3) != 0) return nullptr;
    size_t index = (value - 0x10000) / 4 - 1;
    auto& windows = State().windows;
    return index < windows.size() ? &windows[index] : nullptr;
}

Window* FindLive(HWND handle) {
    Window* window = Find(handle);
    return window && window->info.alive ? window : nullptr;
}

void Invalidate(Window& window, bool erase) {
    // An empty client area has nothing to paint.
    if (window.info.width <= 0 || window.info.height <= 0) return;
    window.needsPaint = true;
    window.needsErase = window.needsErase || erase;
}

void Show(HWND handle, bool show) {
    SendMessageA(handle, WM_SHOWWINDOW, show, 0);
    if (Window* window = FindLive(handle)) {
        window->info.visible = show;
        if (show) Invalidate(*window, true);
    }
}

void DestroyTree(HWND handle) {
    Window* window = FindLive(handle);
    if (!window || window->destroying) return;
    window->destroying = true;
    window->info.visible = false;
    ForgetTimersOf(handle);
    SendMessageA(handle, WM_DESTROY, 0, 0);
    for (size_t i = 0; i < State().windows.size(); ++i)
        if (State().windows[i].info.alive && State().windows[i].info.parent == handle)
            DestroyTree(HandleOf(i));
    SendMessageA(handle, WM_NCDESTROY, 0, 0);
    if (Window* gone = Find(handle)) gone->info.alive = false;
}

void RegisterSystemClasses() {
    RegisterSystemClass("#32770", DialogWindowProc);
    RegisterSystemClass("Button", ButtonWindowProc);
    RegisterSystemClass("Static", StaticWindowProc);
}

Registration reg([] {
    State() = Windowing{};
    RegisterSystemClasses();
});

}  // namespace

void RegisterSystemClass(const std::string& name, WNDPROC procedure) {
    State().classes[Lower(name)] = WindowClass{name, procedure, nullptr, true};
}

LRESULT CallWindowProcedure(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = FindLive(handle);
    if (!window) return 0;
    WNDPROC procedure = window->procedure;
    auto& log = State().delivered;
    size_t entry = log.size();
    log.push_back({handle, window->info.className, message, wParam, lParam, 0});
    std::optional<faults::ProgramCode> program;
    if (!window->systemProcedure) program.emplace();
    LRESULT result = procedure(handle, message, wParam, lParam);
    State().delivered[entry].result = result;
    return result;
}

HWND NewestLiveWindowOfClass(const std::string& className) {
    auto& windows = State().windows;
    for (size_t i = windows.size(); i-- > 0;)
        if (windows[i].info.alive && Lower(windows[i].info.className) == Lower(className))
            return HandleOf(i);
    return nullptr;
}

std::vector<HWND> LiveTopLevelWindows() {
    std::vector<HWND> result;
    for (size_t i = 0; i < State().windows.size(); ++i)
        if (State().windows[i].info.alive && !State().windows[i].info.parent)
            result.push_back(HandleOf(i));
    return result;
}

HWND FindChildWithId(HWND parent, int id) {
    for (size_t i = 0; i < State().windows.size(); ++i) {
        const WindowInfo& info = State().windows[i].info;
        if (info.alive && info.parent == parent && info.id == id) return HandleOf(i);
    }
    return nullptr;
}

int ControlIdOf(HWND handle) {
    Window* window = FindLive(handle);
    return window ? window->info.id : 0;
}

HWND ParentOf(HWND handle) {
    Window* window = FindLive(handle);
    return window ? window->info.parent : nullptr;
}

HWND WindowNeedingPaint(HWND filter) {
    for (size_t i = 0; i < State().windows.size(); ++i) {
        const Window& window = State().windows[i];
        if (window.info.alive && window.info.visible && window.needsPaint &&
            (!filter || filter == HandleOf(i)))
            return HandleOf(i);
    }
    return nullptr;
}

void MakeDialog(HWND handle, DLGPROC procedure) {
    if (Window* window = FindLive(handle)) {
        window->dialogProcedure = procedure;
        window->info.dialog = true;
    }
}

DLGPROC DialogProcedureOf(HWND handle) {
    Window* window = FindLive(handle);
    return window ? window->dialogProcedure : nullptr;
}

std::vector<WindowInfo> Windows() {
    std::vector<WindowInfo> result;
    for (const auto& window : State().windows) result.push_back(window.info);
    return result;
}

std::optional<WindowInfo> FindWindowOfClass(const std::string& className) {
    auto& windows = State().windows;
    for (size_t i = windows.size(); i-- > 0;)
        if (Lower(windows[i].info.className) == Lower(className)) return windows[i].info;
    return std::nullopt;
}

std::optional<WindowInfo> WindowOf(HWND handle) {
    Window* window = Find(handle);
    if (!window) return std::nullopt;
    return window->info;
}

int CountWindowsOfClass(const std::string& className) {
    return int(std::count_if(State().windows.begin(), State().windows.end(), [&](const Window& w) {
        return Lower(w.info.className) == Lower(className);
    }));
}

bool ClassRegistered(const std::string& className) {
    return State().classes.count(Lower(className)) != 0;
}

void RefuseClassRegistration(const std::string& className) {
    State().refused.insert(Lower(className));
}

const std::vector<DeliveredMessage>& DeliveredMessages() { return State().delivered; }

int CountDelivered(const std::string& className, UINT message) {
    const auto& log = State().delivered;
    return int(std::count_if(log.begin(), log.end(), [&](const DeliveredMessage& m) {
        return m.message == message && Lower(m.className) == Lower(className);
    }));
}

}  // namespace sim

extern "C" {

ATOM WINAPI RegisterClassA(const WNDCLASSA* wc) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<ATOM>();
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc) return 0;
    std::string name = wc->lpszClassName;
    sim::Record("RegisterClassA " + name);
    auto& state = sim::State();
    std::string key = sim::Lower(name);
    // The platform refuses a second class of the same name in one module.
    if (state.refused.count(key) || state.classes.count(key)) return 0;
    state.classes[key] = sim::WindowClass{name, wc->lpfnWndProc, wc->hbrBackground};
    return ATOM(0xC000 + state.classes.size());
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<HWND>();
    auto& state = sim::State();
    std::string name = className ? className : "";
    auto found = state.classes.find(sim::Lower(name));
    sim::Record("CreateWindowExA " + name);
    sim::installer::PlatformLoadsByName("UXTHEME.DLL");  // the theme library, at the first window
    if (found == state.classes.end()) return nullptr;
    if ((style & WS_CHILD) && !sim::FindLive(parent)) return nullptr;

    // CW_USEDEFAULT means a default place and size only for overlapped
    // windows; a pop-up or child window gets (0, 0) and 0 x 0.
    bool overlapped = !(style & (WS_POPUP | WS_CHILD));
    if (x == CW_USEDEFAULT) {
        x = overlapped ? 20 : 0;
        y = overlapped ? 20 : 0;
    }
    if (width == CW_USEDEFAULT) {
        width = overlapped ? 640 : 0;
        height = overlapped ? 480 : 0;
    }

    sim::Window window;
    window.info.handle = sim::HandleOf(state.windows.size());
    window.info.className = found->second.name;
    window.info.text = windowName ? windowName : "";
    window.info.style = style & ~DWORD(WS_VISIBLE);
    window.info.exStyle = exStyle;
    window.info.x = x;
    window.info.y = y;
    window.info.width = width;
    window.info.height = height;
    window.info.parent = parent;
    window.info.id = (style & WS_CHILD) ? int(reinterpret_cast<uintptr_t>(menu)) : 0;
    window.info.alive = true;
    window.procedure = found->second.procedure;
    window.systemProcedure = found->second.system;
    window.background = found->second.background;
    HWND handle = window.info.handle;
    state.windows.push_back(window);

    CREATESTRUCTA create{param, instance, menu, parent, height, width, y, x, LONG(style),
                         windowName, className, exStyle};
    LPARAM createParam = reinterpret_cast<LPARAM>(&create);
    if (!SendMessageA(handle, WM_NCCREATE, 0, createParam) ||
        SendMessageA(handle, WM_CREATE, 0, createParam) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    if (!IsWindow(handle)) return nullptr;
    SendMessageA(handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
    SendMessageA(handle, WM_MOVE, 0, MAKELPARAM(x, y));
    if (style & WS_VISIBLE) {
        if (sim::Window* created = sim::FindLive(handle)) created->info.style |= WS_VISIBLE;
        sim::Show(handle, true);
    }
    return IsWindow(handle) ? handle : nullptr;
}

BOOL WINAPI DestroyWindow(HWND handle) {
    const sim::faults::Call call(__func__);
    sim::Window* window = sim::FindLive(handle);
    if (!window) return FALSE;
    sim::Record("DestroyWindow " + window->info.className);
    sim::DestroyTree(handle);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND handle) {
    const sim::faults::Call call(__func__);
    return sim::FindLive(handle) != nullptr;
}

BOOL WINAPI ShowWindow(HWND handle, int command) {
    const sim::faults::Call call(__func__);
    sim::Window* window = sim::FindLive(handle);
    if (!window) return FALSE;
    bool wasVisible = window->info.visible;
    bool show = command != SW_HIDE;
    sim::Record("ShowWindow " + window->info.className + " " + std::to_string(command));
    if (show != wasVisible) sim::Show(handle, show);
    if (sim::Window* after = sim::FindLive(handle)) {
        if (show) after->info.style |= WS_VISIBLE;
        else after->info.style &= ~DWORD(WS_VISIBLE);
    }
    return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND handle) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<BOOL>();
    sim::Window* window = sim::FindLive(handle);
    if (!window) return FALSE;
    if (window->needsPaint && window->info.visible) SendMessageA(handle, WM_PAINT, 0, 0);
    return TRUE;
}

BOOL WINAPI SetWindowPos(HWND handle, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<BOOL>();
    sim::Window* window = sim::FindLive(handle);
    if (!window) return FALSE;
    sim::Record("SetWindowPos " + window->info.className + " " + std::to_string(x) + " " +
                std::to_string(y) + " " + std::to_string(cx) + " " + std::to_string(cy));
    WINDOWPOS pos{handle, insertAfter, x, y, cx, cy, flags};
    SendMessageA(handle, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
    window = sim::FindLive(handle);
    if (!window) return FALSE;
    sim::WindowInfo& info = window->info;
    bool moved = !(pos.flags & SWP_NOMOVE) && (pos.x != info.x || pos.y != info.y);
    bool sized = !(pos.flags & SWP_NOSIZE) && (pos.cx != info.width || pos.cy != info.height);
    if (moved) {
        info.x = pos.x;
        info.y = pos.y;
    }
    if (sized) {
        info.width = pos.cx;
        info.height = pos.cy;
        sim::Invalidate(*window, true);
    }
    pos.x = info.x;
    pos.y = info.y;
    pos.cx = info.width;
    pos.cy = info.height;
    if (!moved) pos.flags |= sim::kNoClientMove;
    if (!sized) pos.flags |= sim::kNoClientSize;
    SendMessageA(handle, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
    return TRUE;
}

BOOL WINAPI InvalidateRect(HWND handle, const RECT*, BOOL erase) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<BOOL>();
    sim::Window* window = sim::FindLive(handle);
    if (!window) return FALSE;
    sim::Invalidate(*window, erase);
    return TRUE;
}

HDC WINAPI BeginPaint(HWND handle, LPPAINTSTRUCT paint) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<HDC>();
    sim::Window* window = sim::FindLive(handle);
    if (!window || !paint) return nullptr;
    sim::Record("BeginPaint " + window->info.className);
    std::memset(paint, 0, sizeof *paint);
    HDC dc = sim::OpenDeviceContext(handle);
    bool erase = window->needsErase;
    window->needsPaint = window->needsErase = false;
    paint->hdc = dc;
    paint->fErase = erase && !SendMessageA(handle, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    if (sim::Window* painted = sim::FindLive(handle))
        paint->rcPaint = RECT{0, 0, painted->info.width, painted->info.height};
    return dc;
}

BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT* paint) {
    const sim::faults::Call call(__func__);
    if (paint) sim::CloseDeviceContext(paint->hdc);
    return TRUE;
}

LRESULT WINAPI DefWindowProcA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    const sim::faults::Call call(__func__);
    sim::Window* window = sim::FindLive(handle);
    if (!window) return 0;
    switch (message) {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(handle);
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageA(handle, WM_CLOSE, 0, 0);
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ERASEBKGND:
        return window->background ? 1 : 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(handle, &paint);
        EndPaint(handle, &paint);
        return 0;
    }
    case WM_SETTEXT:
        window->info.text = lParam ? reinterpret_cast<LPCSTR>(lParam) : "";
        return TRUE;
    case WM_GETTEXT: {
        if (wParam == 0) return 0;
        size_t length = std::min(window->info.text.size(), size_t(wParam) - 1);
        std::memcpy(reinterpret_cast<char*>(lParam), window->info.text.data(), length);
        reinterpret_cast<char*>(lParam)[length] = 0;
        return LRESULT(length);
    }
    case WM_WINDOWPOSCHANGED: {
        const WINDOWPOS* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
        if (!(pos->flags & sim::kNoClientMove))
            SendMessageA(handle, WM_MOVE, 0, MAKELPARAM(pos->x, pos->y));
        if (!(pos->flags & sim::kNoClientSize))
            SendMessageA(handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(pos->cx, pos->cy));
        return 0;
    }
    default:
        return 0;
    }
}

BOOL WINAPI SetWindowTextA(HWND handle, LPCSTR text) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<BOOL>();
    sim::Window* window = sim::FindLive(handle);
    if (!window) return FALSE;
    sim::Record("SetWindowTextA " + window->info.className + " " + (text ? text : ""));
    return SendMessageA(handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0;
}

HWND WINAPI GetDlgItem(HWND dialog, int id) {
    const sim::faults::Call call(__func__);
    if (!IsWindow(dialog)) return nullptr;
    return sim::FindChildWithId(dialog, id);
}

}  // extern "C"

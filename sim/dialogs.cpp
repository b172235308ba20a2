// Modeless dialogs built from a dialog template resource (the standard
// DLGTEMPLATE form), and the dialog class's default procedure.
#include <optional>

#include "sim/faults.h"
#include "sim/installer.h"
#include "sim/gdi.h"
#include "sim/sim.h"
#include "sim/window_internals.h"

namespace sim {
namespace {

struct Item {
    DWORD style = 0, exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    WORD id = 0;
    std::string className;
    std::string text;
};

struct Template {
    DWORD style = 0, exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    std::string caption;
    std::vector<Item> items;
};

// Reads the template without ever stepping past its end.
struct Reader {
    const uint8_t* bytes;
    size_t size;
    size_t at = 0;
    bool ok = true;

    WORD Word() {
        if (at + 2 > size) {
            ok = false;
            return 0;
        }
        WORD value = WORD(bytes[at] | bytes[at + 1] << 8);
        at += 2;
        return value;
    }
    DWORD Dword() {
        DWORD low = Word();
        return low | DWORD(Word()) << 16;
    }
    short Short() { return short(Word()); }
    std::string Text() {
        std::string text;
        for (WORD c; ok && (c = Word()) != 0;) text += char(c & 0xFF);
        return text;
    }
    // A class or menu field: 0, 0xFFFF and an ordinal, or a text.
    std::string NameOrOrdinal() {
        WORD first = Word();
        if (first == 0) return "";
        if (first == 0xFFFF) return "#" + std::to_string(Word());
        at -= 2;
        return Text();
    }
    void AlignDword() { at = (at + 3) & ~size_t(3); }
};

std::string PredefinedClass(const std::string& field) {
    if (field == "#128") return "Button";
    if (field == "#129") return "Edit";
    if (field == "#130") return "Static";
    if (field == "#131") return "ListBox";
    if (field == "#132") return "ScrollBar";
    if (field == "#133") return "ComboBox";
    return field;
}

std::optional<Template> ParseTemplate(const uint8_t* bytes, size_t size) {
    Reader r{bytes, size};
    Template t;
    t.style = r.Dword();
    t.exStyle = r.Dword();
    // The extended form begins with version 1 and signature 0xFFFF.
    if ((t.style & 0xFFFF) == 1 && (t.style >> 16) == 0xFFFF) return std::nullopt;
    WORD count = r.Word();
    t.x = r.Short();
    t.y = r.Short();
    t.cx = r.Short();
    t.cy = r.Short();
    r.NameOrOrdinal();  // menu
    r.NameOrOrdinal();  // class
    t.caption = r.Text();
    if (t.style & DS_SETFONT) {
        r.Word();
        r.Text();
    }
    for (WORD i = 0; i < count && r.ok; ++i) {
        r.AlignDword();
        Item item;
        item.style = r.Dword();
        item.exStyle = r.Dword();
        item.x = r.Short();
        item.y = r.Short();
        item.cx = r.Short();
        item.cy = r.Short();
        item.id = r.Word();
        item.className = PredefinedClass(r.NameOrOrdinal());
        item.text = r.NameOrOrdinal();
        r.at += r.Word();  // creation data
        t.items.push_back(item);
    }
    if (!r.ok) return std::nullopt;
    return t;
}

// Dialog units of an 8-point "MS Sans Serif": 6 x 13 pixels per 4 x 8 units
// at 96 dots per inch.
int Scaled(int units, int pixels, int perUnits) {
    return int((int64_t(units) * pixels * Dpi() / 96 + perUnits / 2) / perUnits);
}
int HorizontalPixels(int units) { return Scaled(units, 6, 4); }
int VerticalPixels(int units) { return Scaled(units, 13, 8); }

// The caption bar and the frame around the client area.
constexpr int kFrameWidth = 6;
constexpr int kFrameHeight = 25;

HWND Fail(HWND dialog, const std::string& why) {
    Record("CreateDialogParamA failed: " + why);
    if (dialog) DestroyWindow(dialog);
    return nullptr;
}

}  // namespace

LRESULT CALLBACK DialogWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DLGPROC procedure = DialogProcedureOf(window);
    INT_PTR handled = FALSE;
    if (procedure) {
        const faults::ProgramCode program;
        handled = procedure(window, message, wParam, lParam);
    }
    if (handled) return handled;
    switch (message) {
    case WM_CLOSE:
        // The dialog manager turns a close request into the Cancel button.
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, IDCANCEL)));
        return 0;
    case WM_INITDIALOG:
    case WM_COMMAND:
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace sim

extern "C" {

HWND WINAPI CreateDialogParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC procedure,
                               LPARAM param) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<HWND>();
    sim::Record("CreateDialogParamA");
    sim::installer::PlatformLoadsByName("UXTHEME.DLL");  // the theme library, at the first window
    HRSRC found = FindResourceA(instance, name, RT_DIALOG);
    if (!found) return sim::Fail(nullptr, "no dialog template");
    const auto* bytes = static_cast<const uint8_t*>(LockResource(LoadResource(instance, found)));
    auto parsed = sim::ParseTemplate(bytes, SizeofResource(instance, found));
    if (!parsed) return sim::Fail(nullptr, "template not understood");
    const sim::Template& t = *parsed;

    int width = sim::HorizontalPixels(t.cx) + sim::kFrameWidth;
    int height = sim::VerticalPixels(t.cy) + sim::kFrameHeight;
    int x = sim::HorizontalPixels(t.x), y = sim::VerticalPixels(t.y);
    if (t.style & DS_CENTER) {
        x = (sim::ScreenWidth() - width) / 2;
        y = (sim::ScreenHeight() - height) / 2;
    }
    HWND dialog = CreateWindowExA(t.exStyle, "#32770", t.caption.c_str(),
                                  t.style & ~DWORD(WS_VISIBLE), x, y, width, height, owner,
                                  nullptr, instance, nullptr);
    if (!dialog) return sim::Fail(nullptr, "dialog window not created");
    sim::MakeDialog(dialog, procedure);
    HWND firstControl = nullptr;
    for (const auto& item : t.items) {
        // Without DS_NOFAILCREATE a control that cannot be made fails the dialog.
        HWND control = CreateWindowExA(
            item.exStyle, item.className.c_str(), item.text.c_str(), item.style,
            sim::HorizontalPixels(item.x), sim::VerticalPixels(item.y),
            sim::HorizontalPixels(item.cx), sim::VerticalPixels(item.cy), dialog,
            reinterpret_cast<HMENU>(uintptr_t(item.id)), instance, nullptr);
        if (!control) return sim::Fail(dialog, "no control of class " + item.className);
        if (!firstControl) firstControl = control;
    }
    SendMessageA(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstControl), param);
    if ((t.style & WS_VISIBLE) && IsWindow(dialog)) ShowWindow(dialog, SW_SHOWNORMAL);
    return IsWindow(dialog) ? dialog : nullptr;
}

}  // extern "C"

#include "platform/text_encoding.h"
#include "window/win32/layout_controls.h"

#include <commctrl.h>
#include <string>
#include <uxtheme.h>

namespace qlx {

namespace {

struct WindowKind {
    const wchar_t* className;
    DWORD style;
    DWORD extendedStyle;
};

WindowKind kindOf(const ControlSpec& item, const WindowLayout& layout) {
    switch (item.kind) {
    case ControlKind::DataTable:
        // A grid with a lowered border, titled "none" as the design has it.
        return {WC_LISTVIEWW, LVS_REPORT, WS_EX_CLIENTEDGE};
    case ControlKind::StaticText:
        // No mnemonic underlines: the texts are shown as written.
        return {L"STATIC",
                static_cast<DWORD>(SS_NOPREFIX |
                                   (item.alignment == TextAlignment::Centre ? SS_CENTER : SS_LEFT)),
                0};
    case ControlKind::ProgressBar:
        return {PROGRESS_CLASSW, layout.smoothProgressBar ? static_cast<DWORD>(PBS_SMOOTH) : 0, 0};
    case ControlKind::CommandButton:
        // Never a tab stop: the buttons are the window's hidden triggers.
        return {L"BUTTON", BS_PUSHBUTTON, 0};
    }
    return {L"STATIC", 0, 0};
}

std::wstring wide(std::string_view text) {
    return toUtf16(std::string(text));
}

} // namespace

LayoutControls::LayoutControls(HWND parent, const WindowLayout& layout) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    int commandId = 0;
    for (const ControlSpec& item : layout.controls) {
        const WindowKind kind = kindOf(item, layout);
        const std::wstring text =
            item.kind == ControlKind::DataTable ? std::wstring(L"none") : wide(item.text);
        const DWORD style =
            WS_CHILD | WS_CLIPSIBLINGS | kind.style | (item.visible ? WS_VISIBLE : 0U);
        ++commandId;
        HWND handle = CreateWindowExW(
            kind.extendedStyle, kind.className, text.c_str(), style, toPixels(item.x),
            toPixels(item.y), toPixels(item.width), toPixels(item.height), parent,
            // NOLINTNEXTLINE(performance-no-int-to-ptr): a child's menu handle is its id.
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(commandId)), instance, nullptr);
        if (!item.font.face.empty()) {
            SendMessageW(handle, WM_SETFONT, reinterpret_cast<WPARAM>(font(parent, item.font)),
                         FALSE);
        }
        if (item.kind == ControlKind::ProgressBar) {
            SendMessageW(handle, PBM_SETRANGE32, 0, kProgressMaximum);
            SendMessageW(handle, PBM_SETSTEP, kProgressStep, 0);
            SendMessageW(handle, PBM_SETPOS, kProgressPosition, 0);
            if (!layout.smoothProgressBar) {
                // A visual style draws every bar smooth; the classic look keeps
                // the blocks. No style has a class named " ", and unlike the
                // empty name, wine honours it too.
                SetWindowTheme(handle, L" ", L" ");
            }
        }
        // A new child goes below its siblings; the design stacks each control
        // above the ones made before it.
        SetWindowPos(handle, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        controls_.push_back({item.name, handle});
    }
    for (const ControlSpec& item : layout.controls) {
        if (item.raised) {
            SetWindowPos(find(item.name), HWND_TOP, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }
}

LayoutControls::~LayoutControls() {
    for (const Control& control : controls_) {
        if (IsWindow(control.handle) != FALSE) {
            DestroyWindow(control.handle);
        }
    }
    for (HFONT font : fonts_) {
        DeleteObject(font);
    }
}

HFONT LayoutControls::font(HWND parent, const FontSpec& wanted) {
    HDC screen = GetDC(parent);
    const int pixelsPerInch = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(parent, screen);
    const std::wstring face = wide(wanted.face);
    HFONT created =
        CreateFontW(-MulDiv(wanted.points, pixelsPerInch, 72), 0, 0, 0, wanted.weight, FALSE, FALSE,
                    FALSE, HANGEUL_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                    DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, face.c_str());
    fonts_.push_back(created);
    return created;
}

HWND LayoutControls::find(std::string_view name) const {
    for (const Control& control : controls_) {
        if (control.name == name) {
            return control.handle;
        }
    }
    return nullptr;
}

std::string_view LayoutControls::nameOf(int commandId) const {
    if (commandId < 1 || static_cast<std::size_t>(commandId) > controls_.size()) {
        return {};
    }
    return controls_[static_cast<std::size_t>(commandId) - 1].name;
}

int LayoutControls::commandIdOf(std::string_view name) const {
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        if (controls_[i].name == name) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

} // namespace qlx

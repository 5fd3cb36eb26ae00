// Reads the message boxes on screen, for the tests that drive the Windows
// updater under wine: a person reads a box before pressing its key, and the
// tests read it through the same window the person sees.
//   box_text.exe
// One line a visible dialog window: "title<TAB>text<TAB>buttons" in UTF-8,
// with \r, \n, \t and \ written as two-character escapes and the buttons'
// captions joined by commas. Exits 1 when no box is on screen.
#include <cstdio>
#include <string>
#include <vector>
#include <windows.h>

namespace {

std::string utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::wstring windowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring className(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

struct Box {
    std::string title;
    std::string text;
    std::vector<std::string> buttons;
};

BOOL CALLBACK collectChild(HWND child, LPARAM data) {
    auto& box = *reinterpret_cast<Box*>(data);
    const std::wstring kind = className(child);
    // The message of a box is the static control with the id 0xFFFF.
    if (kind == L"Static" && GetDlgCtrlID(child) == 0xFFFF) {
        box.text = utf8(windowText(child));
    } else if (kind == L"Button" && IsWindowVisible(child)) {
        box.buttons.push_back(utf8(windowText(child)));
    }
    return TRUE;
}

BOOL CALLBACK collectBox(HWND window, LPARAM data) {
    if (!IsWindowVisible(window) || className(window) != L"#32770") {
        return TRUE;
    }
    Box box;
    box.title = utf8(windowText(window));
    EnumChildWindows(window, collectChild, reinterpret_cast<LPARAM>(&box));
    reinterpret_cast<std::vector<Box>*>(data)->push_back(box);
    return TRUE;
}

} // namespace

int main() {
    std::vector<Box> boxes;
    EnumWindows(collectBox, reinterpret_cast<LPARAM>(&boxes));
    for (const Box& box : boxes) {
        std::string buttons;
        for (const std::string& caption : box.buttons) {
            if (!buttons.empty()) {
                buttons += ',';
            }
            buttons += escaped(caption);
        }
        std::printf("%s\t%s\t%s\n", escaped(box.title).c_str(), escaped(box.text).c_str(),
                    buttons.c_str());
    }
    return boxes.empty() ? 1 : 0;
}

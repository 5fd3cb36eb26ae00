#include "base/unexpected_error.h"
#include "platform/text_encoding.h"
#include "window/win32/message_boxes.h"

namespace qlx {

namespace {

int showBox(HWND owner, const std::string& title, const std::string& text, UINT type) {
    return MessageBoxW(owner, toUtf16(text).c_str(), toUtf16(title).c_str(), type);
}

} // namespace

void informationBox(HWND owner, const std::string& title, const std::string& text) {
    showBox(owner, title, text, MB_OK | MB_ICONINFORMATION);
}

int yesNoBox(HWND owner, const std::string& title, const std::string& text) {
    const int answer = showBox(owner, title, text, MB_YESNO | MB_ICONINFORMATION | MB_DEFBUTTON1);
    return answer == IDYES ? 1 : 2;
}

bool runEventEntry(HWND owner, const std::function<void()>& entry) {
    try {
        entry();
        return true;
    } catch (const UnexpectedError& error) {
        showBox(owner, "Quillon", error.library() + " could not be loaded.\n" + error.reason(),
                MB_OK | MB_ICONERROR);
        return false;
    }
}

} // namespace qlx

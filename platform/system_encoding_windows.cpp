#include "platform/system_encoding.h"
#include "platform/utf16_windows.h"

namespace qlx {

std::string toSystemEncoding(const std::string& utf8) {
    return toCodePage(CP_ACP, utf8);
}

std::string fromSystemEncoding(const std::string& text) {
    return fromCodePage(CP_ACP, text);
}

} // namespace qlx

#pragma once

// Windows only. The system's W functions take UTF-16; the program's text is
// UTF-8. Invalid UTF-8 becomes U+FFFD on the way, as the system converts it.
// The A functions and the outside libraries take a code page's 8-bit text,
// which goes through UTF-16 too.

#include <climits>
#include <string>
#include <windows.h>

namespace qlx {

inline std::wstring toUtf16(const std::string& utf8) {
    if (utf8.empty() || utf8.size() > static_cast<std::size_t>(INT_MAX)) {
        return {};
    }
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    if (length <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
    return wide;
}

inline std::string fromUtf16(const wchar_t* wide, std::size_t count) {
    if (wide == nullptr || count == 0 || count > static_cast<std::size_t>(INT_MAX)) {
        return {};
    }
    const int size = static_cast<int>(count);
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        return {};
    }
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, size, utf8.data(), length, nullptr, nullptr);
    return utf8;
}

inline std::string fromUtf16(const std::wstring& wide) {
    return fromUtf16(wide.data(), wide.size());
}

// UTF-8 as the code page's text; a character the code page lacks becomes its
// default character, "?".
inline std::string toCodePage(unsigned codePage, const std::string& utf8) {
    const std::wstring wide = toUtf16(utf8);
    if (wide.empty() || wide.size() > static_cast<std::size_t>(INT_MAX)) {
        return {};
    }
    const int size = static_cast<int>(wide.size());
    const int length =
        WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
    return text;
}

// The code page's text as UTF-8.
inline std::string fromCodePage(unsigned codePage, const std::string& text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    if (length <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
    return fromUtf16(wide);
}

} // namespace qlx

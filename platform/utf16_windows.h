#pragma once

// Windows only. The system's W functions take UTF-16; the program's text is
// UTF-8. Invalid UTF-8 becomes U+FFFD on the way, as the system converts it.
// The A functions and the outside libraries take a code page's 8-bit text,
// which goes through UTF-16 too.

#include <climits>
#include <string>
#include <windows.h>

namespace qlx {

// `text` in code page `codePage` as UTF-16.
inline std::wstring widen(unsigned codePage, const std::string& text) {
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
    return wide;
}

// `count` UTF-16 units as text in code page `codePage`; a character the code
// page lacks becomes its default character, "?".
inline std::string narrow(unsigned codePage, const wchar_t* wide, std::size_t count) {
    if (wide == nullptr || count == 0 || count > static_cast<std::size_t>(INT_MAX)) {
        return {};
    }
    const int size = static_cast<int>(count);
    const int length = WideCharToMultiByte(codePage, 0, wide, size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, wide, size, text.data(), length, nullptr, nullptr);
    return text;
}

inline std::wstring toUtf16(const std::string& utf8) {
    return widen(CP_UTF8, utf8);
}

inline std::string fromUtf16(const wchar_t* wide, std::size_t count) {
    return narrow(CP_UTF8, wide, count);
}

inline std::string fromUtf16(const std::wstring& wide) {
    return fromUtf16(wide.data(), wide.size());
}

// UTF-8 as the code page's text.
inline std::string toCodePage(unsigned codePage, const std::string& utf8) {
    const std::wstring wide = toUtf16(utf8);
    return narrow(codePage, wide.data(), wide.size());
}

// The code page's text as UTF-8.
inline std::string fromCodePage(unsigned codePage, const std::string& text) {
    return fromUtf16(widen(codePage, text));
}

} // namespace qlx

#include "platform/text_encoding.h"

#include <climits>
#include <windows.h>

namespace qlx {

namespace {

constexpr unsigned codePage949 = 949;

// `text` in code page `codePage` as UTF-16. With MB_ERR_INVALID_CHARS in
// `flags`, nullopt when it holds a byte sequence that the code page does not
// define; without, the system makes such a sequence U+FFFD.
std::optional<std::wstring> decode(unsigned codePage, DWORD flags, std::string_view text) {
    if (text.empty()) {
        return std::wstring();
    }
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
        return std::nullopt;
    }
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
    if (length <= 0) {
        return std::nullopt;
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), length) != length) {
        return std::nullopt;
    }
    return wide;
}

// UTF-16 as text in code page `codePage`; a character the code page lacks
// becomes its default character, "?".
std::string narrow(unsigned codePage, const std::wstring& wide) {
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

} // namespace

// wchar_t is a UTF-16 unit here, so the portable conversion serves the W
// functions too.
std::wstring toUtf16(const std::string& utf8) {
    const std::u16string units = utf8ToUtf16(utf8);
    return {units.begin(), units.end()};
}

std::string fromUtf16(const wchar_t* wide, std::size_t count) {
    if (wide == nullptr) {
        return {};
    }
    return utf16ToUtf8(std::u16string(wide, wide + count));
}

std::string fromUtf16(const std::wstring& wide) {
    return fromUtf16(wide.data(), wide.size());
}

std::string toSystemEncoding(const std::string& utf8) {
    return narrow(CP_ACP, toUtf16(utf8));
}

std::string fromSystemEncoding(const std::string& text) {
    return fromUtf16(decode(CP_ACP, 0, text).value_or(std::wstring()));
}

std::optional<std::string> pathFromSystemEncoding(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    const std::optional<std::wstring> wide = decode(CP_ACP, MB_ERR_INVALID_CHARS, text);
    if (!wide) {
        return std::nullopt;
    }
    std::string utf8 = fromUtf16(*wide);
    if (utf8.empty()) {
        return std::nullopt;
    }
    return utf8;
}

char32_t foldCodePoint(char32_t cp) {
    // NTFS compares names by their upper case, from a table that no user's
    // language changes: the invariant locale's.
    if (cp < 0x80) {
        return (cp >= 'a' && cp <= 'z') ? cp - 'a' + 'A' : cp;
    }
    if (cp > 0xFFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return cp;
    }
    const auto unit = static_cast<wchar_t>(cp);
    wchar_t upper = unit;
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, &unit, 1, &upper, 1, nullptr, nullptr,
                      0) != 1) {
        return cp;
    }
    return upper;
}

Cp949Decoder::Cp949Decoder() = default;

Cp949Decoder::~Cp949Decoder() = default;

bool Cp949Decoder::toUtf8(std::string_view raw, std::string& utf8) {
    const std::optional<std::wstring> wide = decode(codePage949, MB_ERR_INVALID_CHARS, raw);
    if (!wide) {
        return false;
    }
    utf8 = fromUtf16(*wide);
    return !utf8.empty() || raw.empty();
}

} // namespace qlx

#include "libs/ezip/system_text.h"
#include "platform/utf16_windows.h"

#include <climits>

namespace ezip::text {

namespace {

constexpr unsigned codePage949 = 949;

// `text` in code page `codePage` as UTF-16; nullopt when it holds a byte
// sequence that the code page does not define.
std::optional<std::wstring> decodeStrictly(unsigned codePage, std::string_view text) {
    if (text.empty()) {
        return std::wstring();
    }
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
        return std::nullopt;
    }
    const int size = static_cast<int>(text.size());
    const int length =
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (length <= 0) {
        return std::nullopt;
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(),
                            length) != length) {
        return std::nullopt;
    }
    return wide;
}

} // namespace

std::optional<std::string> pathFromCaller(const char* text) {
    if (text == nullptr || *text == '\0') {
        return std::nullopt;
    }
    const std::optional<std::wstring> wide = decodeStrictly(CP_ACP, text);
    if (!wide) {
        return std::nullopt;
    }
    std::string utf8 = qlx::fromUtf16(*wide);
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
    const std::optional<std::wstring> wide = decodeStrictly(codePage949, raw);
    if (!wide) {
        return false;
    }
    utf8 = qlx::fromUtf16(*wide);
    return !utf8.empty() || raw.empty();
}

} // namespace ezip::text

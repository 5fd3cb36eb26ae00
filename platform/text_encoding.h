#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The program's text is UTF-8 everywhere. The system and the outside
// libraries want other encodings; every conversion between them is made here.
namespace qlx {

// UTF-8 <-> UTF-16, the text of the ODBC interface's wide functions on every
// platform. A malformed sequence becomes U+FFFD, as the system's own
// conversion makes it.
[[nodiscard]] std::u16string utf8ToUtf16(const std::string& text);
[[nodiscard]] std::string utf16ToUtf8(const std::u16string& text);

#ifdef _WIN32
// The same for the system's W functions, whose wchar_t is a UTF-16 unit.
[[nodiscard]] std::wstring toUtf16(const std::string& utf8);
[[nodiscard]] std::string fromUtf16(const wchar_t* wide, std::size_t count);
[[nodiscard]] std::string fromUtf16(const std::wstring& wide);
#endif

// The code point at `pos` of UTF-8 `text`, and `pos` moved past it; nullopt,
// and `pos` as it was, for a malformed, overlong or surrogate sequence.
[[nodiscard]] std::optional<char32_t> nextCodePoint(std::string_view text, std::size_t& pos);
void appendUtf8(std::string& out, char32_t cp);

// The outside libraries take 8-bit text in the system's encoding: the ANSI
// code page on Windows, the locale's character set elsewhere (read once the
// program has set its locale). A character the encoding cannot hold becomes
// "?", as the system's own conversion makes it.

// UTF-8 text in the system's encoding.
[[nodiscard]] std::string toSystemEncoding(const std::string& utf8);
// Text in the system's encoding as UTF-8.
[[nodiscard]] std::string fromSystemEncoding(const std::string& text);

// A path that a caller gave in the system's 8-bit encoding, as the program's
// paths hold it: the bytes as they are on POSIX, where the file system takes
// bytes; UTF-8 on Windows, decoded from the ANSI code page. Unlike
// fromSystemEncoding, a byte sequence the code page does not define is no
// "?" but nullopt: a path with a guessed character would name another file.
[[nodiscard]] std::optional<std::string> pathFromSystemEncoding(std::string_view text);

// The code point under which a case-insensitive file system files `cp`.
[[nodiscard]] char32_t foldCodePoint(char32_t cp);

// Decodes CP949, the client machines' code page, strictly: text it does not
// define fails whole. Not to be shared between threads.
class Cp949Decoder {
public:
    Cp949Decoder();
    // Not trivial on POSIX, where it closes the converter.
    ~Cp949Decoder(); // NOLINT(performance-trivially-destructible)
    Cp949Decoder(const Cp949Decoder&) = delete;
    Cp949Decoder& operator=(const Cp949Decoder&) = delete;

    // False when `raw` is not valid CP949 (or the system has no converter).
    bool toUtf8(std::string_view raw, std::string& utf8);

private:
    void* state_ = nullptr; // the system's converter, where it keeps one
};

} // namespace qlx

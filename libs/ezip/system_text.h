#pragma once

#include <optional>
#include <string>
#include <string_view>

// Text conversions that only the system can make. One file a platform.
namespace ezip::text {

// A path as the caller passed it, zero-terminated 8-bit text in the system's
// encoding, as the library's paths take it: the bytes as they are on POSIX,
// where the file system takes bytes; UTF-8 on Windows, converted from the
// ANSI code page. nullopt for a null or empty path, or one that does not
// decode.
[[nodiscard]] std::optional<std::string> pathFromCaller(const char* text);

// The code point under which a case-insensitive file system files `cp`.
[[nodiscard]] char32_t foldCodePoint(char32_t cp);

// Decodes CP949, the client machines' code page. Not to be shared between
// threads.
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

} // namespace ezip::text

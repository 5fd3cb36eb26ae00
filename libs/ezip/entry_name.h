#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ezip {

// Why an entry name was refused; Ok when it may be written below the folder.
enum class NameVerdict {
    Ok,
    Empty,
    InvalidUtf8,
    ControlCharacter,
    Absolute,
    Drive,
    Traversal,
    EmptyComponent,
    ReservedCharacter,
    DeviceName,
    TrailingDotOrSpace,
    TooLong,
    Reserved,
};

struct CheckedName {
    NameVerdict verdict = NameVerdict::Empty;
    // The path's components in UTF-8, without separators and "." components;
    // none for a name of the destination folder itself ("./").
    std::vector<std::string> components;
    // The name ends with a separator or "." (or is only "."): a folder entry.
    bool folder = false;
};

// Checks a decoded (UTF-8) entry name. Both "/" and "\" separate components,
// because archives made on Windows use either and a "\" would otherwise become
// part of a POSIX file name and a separator again on Windows.
CheckedName checkEntryName(std::string_view utf8);

[[nodiscard]] bool isValidUtf8(std::string_view text);

// A key under which names that a case-insensitive file system would treat as
// one file compare equal.
std::string foldCase(std::string_view utf8);

// The first component of the staging folder's name; no entry may use it.
inline constexpr std::string_view stagingPrefix = ".ezip-staging-";

// Decodes raw names into UTF-8. Names carry the UTF-8 flag or an Info-ZIP
// Unicode path field, or they are in the client machines' code page CP949;
// archives made by Linux tools carry UTF-8 without the flag, recognised as
// bytes that are valid UTF-8 but not valid CP949.
class NameDecoder {
public:
    NameDecoder();
    ~NameDecoder();
    NameDecoder(const NameDecoder&) = delete;
    NameDecoder& operator=(const NameDecoder&) = delete;

    // False when the name cannot be decoded.
    bool decode(std::string_view raw, bool utf8Flag, std::string_view extraField,
                std::string& utf8);

private:
    bool fromCp949(std::string_view raw, std::string& utf8);
    void* iconv_; // null when the system has no CP949 converter
};

// The Info-ZIP Unicode path (0x7075) in a central extra field when it is
// present, of version 1 and matches the raw name's CRC; empty otherwise.
std::string_view unicodePathField(std::string_view extraField, std::string_view rawName);

std::uint32_t crc32(std::string_view bytes);

} // namespace ezip

#include "libs/ezip/entry_name.h"

#include "libs/ezip/entry_crc.h"

#include <algorithm>
#include <array>
#include <optional>

namespace ezip {

namespace {

constexpr std::size_t maxNameBytes = 4096;
constexpr std::size_t maxComponentBytes = 255;

char asciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equalsUpper(std::string_view text, std::string_view upper) {
    if (text.size() != upper.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (asciiUpper(text[i]) != upper[i]) {
            return false;
        }
    }
    return true;
}

// Windows opens a device for these names whatever the extension and folder,
// so a package must never carry them, on any platform.
bool isDeviceName(std::string_view component) {
    std::string_view stem = component.substr(0, component.find('.'));
    while (!stem.empty() && stem.back() == ' ') {
        stem.remove_suffix(1);
    }
    static constexpr std::array<std::string_view, 6> plain = {"CON", "PRN",    "AUX",
                                                              "NUL", "CONIN$", "CONOUT$"};
    for (const auto name : plain) {
        if (equalsUpper(stem, name)) {
            return true;
        }
    }
    if (stem.size() == 4 &&
        (equalsUpper(stem.substr(0, 3), "COM") || equalsUpper(stem.substr(0, 3), "LPT"))) {
        return stem[3] >= '0' && stem[3] <= '9';
    }
    // COM¹ COM² COM³ and LPT¹..³ are devices too.
    if (stem.size() == 5 &&
        (equalsUpper(stem.substr(0, 3), "COM") || equalsUpper(stem.substr(0, 3), "LPT"))) {
        const std::string_view tail = stem.substr(3);
        return tail == "\xC2\xB9" || tail == "\xC2\xB2" || tail == "\xC2\xB3";
    }
    return false;
}

NameVerdict checkComponent(std::string_view component) {
    if (component.empty()) {
        return NameVerdict::EmptyComponent;
    }
    if (component == "..") {
        return NameVerdict::Traversal;
    }
    if (component.size() > maxComponentBytes) {
        return NameVerdict::TooLong;
    }
    for (const char c : component) {
        // ':' would name an alternate data stream or a drive on Windows; the
        // others cannot stand in a Windows file name at all.
        if (c == ':' || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') {
            return NameVerdict::ReservedCharacter;
        }
    }
    // Windows drops trailing dots and blanks, so "a." and "a" would be one file.
    if (component.back() == '.' || component.back() == ' ') {
        return NameVerdict::TrailingDotOrSpace;
    }
    if (isDeviceName(component)) {
        return NameVerdict::DeviceName;
    }
    return NameVerdict::Ok;
}

// Hosts whose tools write names in the machine's code page: MS-DOS and
// Windows FAT, OS/2 HPFS, Windows NTFS, VFAT.
bool writesCodePage(unsigned host) {
    return host == 0 || host == 6 || host == 10 || host == 14;
}

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

// The checks on the name as a whole, before it is split into components.
NameVerdict checkWholeName(std::string_view utf8) {
    if (utf8.empty()) {
        return NameVerdict::Empty;
    }
    if (utf8.size() > maxNameBytes) {
        return NameVerdict::TooLong;
    }
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const std::optional<char32_t> cp = qlx::nextCodePoint(utf8, pos);
        if (!cp) {
            return NameVerdict::InvalidUtf8;
        }
        if (*cp < 0x20 || (*cp >= 0x7F && *cp < 0xA0)) {
            return NameVerdict::ControlCharacter;
        }
    }
    if (isSeparator(utf8.front())) {
        return NameVerdict::Absolute;
    }
    if (utf8.size() >= 2 && utf8[1] == ':' &&
        ((utf8[0] >= 'A' && utf8[0] <= 'Z') || (utf8[0] >= 'a' && utf8[0] <= 'z'))) {
        return NameVerdict::Drive;
    }
    return NameVerdict::Ok;
}

// Appends the components of `rest`, the name without a final separator, to
// `result`; the verdict on the first component refused, Ok when none is.
NameVerdict splitComponents(std::string_view rest, CheckedName& result) {
    std::size_t start = 0;
    while (true) {
        std::size_t end = start;
        while (end < rest.size() && !isSeparator(rest[end])) {
            ++end;
        }
        const std::string_view component = rest.substr(start, end - start);
        // "." names the folder it stands in: bsdtar writes "./a.txt", and "a/."
        // is the folder "a".
        if (component == ".") {
            if (end >= rest.size()) {
                result.folder = true;
            }
        } else if (const NameVerdict verdict = checkComponent(component);
                   verdict != NameVerdict::Ok) {
            return verdict;
        } else {
            result.components.emplace_back(component);
        }
        if (end >= rest.size()) {
            return NameVerdict::Ok;
        }
        start = end + 1;
    }
}

} // namespace

bool isValidUtf8(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (!qlx::nextCodePoint(text, pos)) {
            return false;
        }
    }
    return true;
}

CheckedName checkEntryName(std::string_view utf8) {
    CheckedName result;
    result.verdict = checkWholeName(utf8);
    if (result.verdict != NameVerdict::Ok) {
        return result;
    }
    std::string_view rest = utf8;
    if (isSeparator(rest.back())) {
        result.folder = true;
        rest.remove_suffix(1);
    }
    if (const NameVerdict verdict = splitComponents(rest, result); verdict != NameVerdict::Ok) {
        result.verdict = verdict;
        result.components.clear();
        return result;
    }
    if (!result.components.empty() && result.components.front().starts_with(stagingPrefix)) {
        result.verdict = NameVerdict::Reserved;
        result.components.clear();
        return result;
    }
    result.verdict = NameVerdict::Ok;
    return result;
}

std::string foldCase(std::string_view utf8) {
    std::string folded;
    folded.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const std::optional<char32_t> cp = qlx::nextCodePoint(utf8, pos);
        if (!cp) {
            folded.push_back(utf8[pos++]);
            continue;
        }
        qlx::appendUtf8(folded, qlx::foldCodePoint(*cp));
    }
    return folded;
}

std::uint32_t crc32(std::string_view bytes) {
    return crcOf(0, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::string_view unicodePathField(std::string_view extra, std::string_view rawName) {
    const auto u16 = [&](std::size_t i) {
        return static_cast<unsigned>(static_cast<unsigned char>(extra[i])) |
               (static_cast<unsigned>(static_cast<unsigned char>(extra[i + 1])) << 8);
    };
    std::size_t pos = 0;
    while (pos + 4 <= extra.size()) {
        const unsigned id = u16(pos);
        const std::size_t length = u16(pos + 2);
        if (pos + 4 + length > extra.size()) {
            break;
        }
        if (id == 0x7075 && length >= 5 && extra[pos + 4] == 1) {
            std::uint32_t stored = 0;
            for (int i = 3; i >= 0; --i) {
                stored = (stored << 8) |
                         static_cast<unsigned char>(extra[pos + 5 + static_cast<std::size_t>(i)]);
            }
            if (stored == crc32(rawName)) {
                return extra.substr(pos + 9, length - 5);
            }
        }
        pos += 4 + length;
    }
    return {};
}

void NameDecoder::survey(std::string_view raw, bool utf8Flag, std::string_view unicodeField) {
    const bool ascii = std::all_of(raw.begin(), raw.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        return;
    }
    if (utf8Flag || !unicodeField.empty()) {
        flaggedNonAscii_ = true;
        return;
    }
    unflaggedNonAscii_ = true;
    unflaggedFile_ = unflaggedFile_ || !raw.ends_with('/');
    if (!isValidUtf8(raw)) {
        unflaggedAllUtf8_ = false;
    } else if (!unflaggedNotCp949_ && !cp949_.toUtf8(raw, scratch_)) {
        unflaggedNotCp949_ = true;
    }
}

void NameDecoder::endSurvey() {
    archiveUtf8_ = unflaggedNonAscii_ && unflaggedAllUtf8_ &&
                   (unflaggedNotCp949_ || (flaggedNonAscii_ && !unflaggedFile_));
}

bool NameDecoder::decode(std::string_view raw, bool utf8Flag, unsigned host,
                         std::string_view extraField, std::string& utf8) {
    const std::string_view unicode = unicodePathField(extraField, raw);
    if (!unicode.empty() && isValidUtf8(unicode)) {
        utf8.assign(unicode);
        return true;
    }
    if (utf8Flag) {
        utf8.assign(raw);
        return isValidUtf8(raw);
    }
    const bool validUtf8 = isValidUtf8(raw);
    if (validUtf8 && (archiveUtf8_ || !writesCodePage(host))) {
        utf8.assign(raw);
        return true;
    }
    if (cp949_.toUtf8(raw, utf8)) {
        return true;
    }
    if (validUtf8) {
        utf8.assign(raw);
        return true;
    }
    return false;
}

} // namespace ezip

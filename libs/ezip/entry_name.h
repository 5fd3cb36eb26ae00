#pragma once

#include "platform/text_encoding.h"

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

// Decodes raw names into UTF-8. Names with the UTF-8 flag or an Info-ZIP
// Unicode path field are UTF-8. Other names are in the code page of the
// machine that wrote them: Windows tools (FAT and NTFS hosts) write the client
// machines' CP949, Unix and macOS tools write the file system's bytes, which
// are UTF-8. Neither test of validity tells the two apart on its own: UTF-8
// Latin and CJK names are mostly valid CP949 ("café" reads as "caf챕"), and a
// CP949 name is now and then valid UTF-8. So the host decides which comes
// first, and the other is taken only for a name that the first cannot read.
//
// The archive as a whole can tell more than one name: see survey().
class NameDecoder {
public:
    // Looks at every name of the archive before any is decoded. The unflagged
    // names of an archive are all UTF-8 when each of them that is not ASCII
    // is valid UTF-8 and the archive shows that its writer wrote UTF-8:
    // - one of them is not valid CP949, so the writer was not a CP949 tool
    //   (the per-name rule reads that one as UTF-8 already; its siblings,
    //   which may happen to be valid CP949, come from the same writer); or
    // - it flags non-ASCII names as UTF-8 and its unflagged non-ASCII names
    //   are all folders. The JDK's zip file system writes its folders in
    //   UTF-8 without the flag; a Korean Windows tool that flags the names
    //   CP949 cannot hold leaves its files unflagged as well, so its archives
    //   keep the per-name rule.
    // Otherwise each name is decoded on its own.
    void survey(std::string_view raw, bool utf8Flag, std::string_view unicodeField);
    void endSurvey();

    // False when the name cannot be decoded. `host` is the high byte of the
    // entry's "version made by".
    bool decode(std::string_view raw, bool utf8Flag, unsigned host, std::string_view extraField,
                std::string& utf8);

private:
    qlx::Cp949Decoder cp949_;
    std::string scratch_;
    bool unflaggedAllUtf8_ = true;
    bool unflaggedNonAscii_ = false;
    bool unflaggedNotCp949_ = false;
    bool unflaggedFile_ = false;
    bool flaggedNonAscii_ = false;
    bool archiveUtf8_ = false;
};

// The Info-ZIP Unicode path (0x7075) in a central extra field when it is
// present, of version 1 and matches the raw name's CRC; empty otherwise.
std::string_view unicodePathField(std::string_view extraField, std::string_view rawName);

std::uint32_t crc32(std::string_view bytes);

} // namespace ezip

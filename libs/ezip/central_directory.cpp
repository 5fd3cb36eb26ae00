#include "libs/ezip/central_directory.h"

#include "libs/ezip/archive_bytes.h"
#include "libs/ezip/entry_name.h"
#include "libs/ezip/ezip_codes.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

namespace ezip {

namespace {

constexpr std::uint32_t localSignature = 0x04034b50;
constexpr std::uint32_t centralSignature = 0x02014b50;
constexpr std::uint32_t endSignature = 0x06054b50;
constexpr std::uint32_t end64Signature = 0x06064b50;
constexpr std::uint32_t locator64Signature = 0x07064b50;
constexpr std::size_t endSize = 22;
constexpr std::size_t maxComment = 0xFFFF;

// Sequential reads through the directory with one fixed buffer, so that a
// large directory never sits in memory twice.
class Reader {
public:
    Reader(const qlx::FileHandle& file, std::uint64_t offset, std::uint64_t end)
        : file_(file), pos_(offset), end_(end) {}

    bool read(void* out, std::size_t length) {
        auto* dst = static_cast<unsigned char*>(out);
        while (length > 0) {
            if (begin_ == filled_) {
                if (pos_ >= end_) {
                    return false;
                }
                const std::size_t want =
                    static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size(), end_ - pos_));
                if (!readFully(file_, pos_, buffer_.data(), want)) {
                    return false;
                }
                pos_ += want;
                begin_ = 0;
                filled_ = want;
            }
            const std::size_t take = std::min(length, filled_ - begin_);
            std::copy_n(buffer_.data() + begin_, take, dst);
            begin_ += take;
            dst += take;
            length -= take;
        }
        return true;
    }

    // The file offset of the next byte read.
    [[nodiscard]] std::uint64_t offset() const { return pos_ - (filled_ - begin_); }

private:
    const qlx::FileHandle& file_;
    std::uint64_t pos_;
    std::uint64_t end_;
    std::array<unsigned char, 65536> buffer_{};
    std::size_t begin_ = 0;
    std::size_t filled_ = 0;
};

struct EndRecord {
    std::uint64_t entries = 0;
    std::uint64_t size = 0;
    std::uint64_t offset = 0;
    std::uint64_t position = 0; // where the directory must end
    std::uint64_t padding = 0;  // bytes of the comment missing from the file
    // Bytes in front of the archive that its offsets do not count.
    std::uint64_t shift = 0;
};

bool isEnd64At(const qlx::FileHandle& file, std::uint64_t offset,
               std::array<unsigned char, 56>& record) {
    return readFully(file, offset, record.data(), record.size()) &&
           le(record.data(), 4) == end64Signature;
}

// Reads the end record at `p`, which lies at `position` in the file, and the
// zip64 records before it. Refuses archives spanning several disks.
int readEnd(const qlx::FileHandle& file, const unsigned char* p, std::uint64_t position,
            EndRecord& end) {
    const std::uint64_t disk = le(p + 4, 2);
    const std::uint64_t directoryDisk = le(p + 6, 2);
    const std::uint64_t diskEntries = le(p + 8, 2);
    end.entries = le(p + 10, 2);
    end.size = le(p + 12, 4);
    end.offset = le(p + 16, 4);
    end.position = position;
    // All ones in any field, the disk numbers included, say "see the zip64
    // record"; some writers set every field so.
    const bool marked = disk == 0xFFFF || directoryDisk == 0xFFFF || diskEntries == 0xFFFF ||
                        end.entries == 0xFFFF || end.size == 0xFFFFFFFF || end.offset == 0xFFFFFFFF;
    // Some writers add the zip64 records without marking the end record,
    // so their locator is looked for in every archive.
    std::array<unsigned char, 20> locator{};
    const bool located =
        end.position >= locator.size() &&
        readFully(file, end.position - locator.size(), locator.data(), locator.size()) &&
        le(locator.data(), 4) == locator64Signature;
    if (!located) {
        return !marked && disk == 0 && directoryDisk == 0 && diskEntries == end.entries
                   ? EZIP_OK
                   : EZIP_E_STRUCTURE;
    }
    // Where both records give a disk number or count, both must say one disk.
    if ((disk != 0 && disk != 0xFFFF) || (directoryDisk != 0 && directoryDisk != 0xFFFF) ||
        (diskEntries != end.entries && diskEntries != 0xFFFF && end.entries != 0xFFFF) ||
        le(locator.data() + 4, 4) != 0 || le(locator.data() + 16, 4) > 1) {
        return EZIP_E_STRUCTURE;
    }
    const std::uint64_t record = le(locator.data() + 8, 8);
    std::array<unsigned char, 56> end64{};
    if (end.position < locator.size() + end64.size() ||
        record > end.position - locator.size() - end64.size()) {
        return EZIP_E_STRUCTURE;
    }
    // Bytes in front of the archive shift this record's offset too; writers
    // put it right before the locator.
    const std::uint64_t adjacent = end.position - locator.size() - end64.size();
    const bool atRecord = isEnd64At(file, record, end64);
    if (!atRecord && !isEnd64At(file, adjacent, end64)) {
        return EZIP_E_STRUCTURE;
    }
    end.entries = le(end64.data() + 32, 8);
    if (le(end64.data() + 16, 4) != 0 || le(end64.data() + 20, 4) != 0 ||
        le(end64.data() + 24, 8) != end.entries) {
        return EZIP_E_STRUCTURE;
    }
    end.size = le(end64.data() + 40, 8);
    end.offset = le(end64.data() + 48, 8);
    end.position = atRecord ? record : adjacent;
    return EZIP_OK;
}

// Whether the directory that `end` describes lies before it and starts with
// a directory record: where the record is, or, when bytes in front of the
// archive shifted it (a self-extractor stub whose writer did not adjust the
// offsets), as far after where it says as the record is after where the
// directory ends. Sets the shift.
bool locateDirectory(const qlx::FileHandle& file, EndRecord& end) {
    if (end.offset > end.position || end.size > end.position - end.offset) {
        return false;
    }
    end.shift = end.position - end.offset - end.size;
    std::array<unsigned char, 4> signature{};
    return end.entries == 0 ||
           (readFully(file, end.offset + end.shift, signature.data(), signature.size()) &&
            le(signature.data(), 4) == centralSignature);
}

// The last record in the file that locates a directory, as unzip and
// Python's zipfile take the last record. Its comment may run past the end of
// the file: a writer miscounted it, and it means nothing to the entries. A
// record that locates no directory, the bytes of a comment or of an entry's
// data, is passed over.
int findEnd(const qlx::FileHandle& file, std::uint64_t fileSize, EndRecord& end) {
    if (fileSize < endSize) {
        return EZIP_E_NOT_ZIP;
    }
    const std::size_t tail =
        static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, endSize + maxComment));
    std::vector<unsigned char> buffer(tail);
    const std::uint64_t tailStart = fileSize - tail;
    if (!readFully(file, tailStart, buffer.data(), tail)) {
        return EZIP_E_OPEN;
    }
    int code = EZIP_E_NOT_ZIP;
    for (std::size_t i = tail - endSize + 1; i-- > 0;) {
        const unsigned char* p = buffer.data() + i;
        if (le(p, 4) != endSignature) {
            continue;
        }
        EndRecord candidate;
        if (readEnd(file, p, tailStart + i, candidate) == EZIP_OK &&
            locateDirectory(file, candidate)) {
            const std::uint64_t commentEnd = i + endSize + le(p + 20, 2);
            candidate.padding = commentEnd > tail ? commentEnd - tail : 0;
            end = candidate;
            return EZIP_OK;
        }
        code = EZIP_E_STRUCTURE;
    }
    return code;
}

// Replaces the 32-bit fields that say "see the zip64 field" by its values.
bool applyZip64(const std::string& extra, CentralEntry& entry, bool needSize, bool needCompressed,
                bool needOffset) {
    const auto* p = reinterpret_cast<const unsigned char*>(extra.data());
    std::size_t pos = 0;
    while (pos + 4 <= extra.size()) {
        const std::size_t id = le(p + pos, 2);
        const std::size_t length = le(p + pos + 2, 2);
        if (pos + 4 + length > extra.size()) {
            return false;
        }
        if (id == 0x0001) {
            std::size_t field = pos + 4;
            const std::size_t fieldEnd = field + length;
            const auto take = [&](std::uint64_t& value) {
                if (field + 8 > fieldEnd) {
                    return false;
                }
                value = le(p + field, 8);
                field += 8;
                return true;
            };
            return (!needSize || take(entry.size)) &&
                   (!needCompressed || take(entry.compressedSize)) &&
                   (!needOffset || take(entry.localOffset));
        }
        pos += 4 + length;
    }
    return !needSize && !needCompressed && !needOffset;
}

// The bytes after the last record of an extra field, too few for a record's
// header; none when a record runs past the field.
std::size_t strayBytes(const std::string& extra) {
    const auto* p = reinterpret_cast<const unsigned char*>(extra.data());
    std::size_t pos = 0;
    while (pos + 4 <= extra.size()) {
        const std::size_t length = le(p + pos + 2, 2);
        if (pos + 4 + length > extra.size()) {
            return 0;
        }
        pos += 4 + length;
    }
    return extra.size() - pos;
}

int readEntry(Reader& reader, CentralEntry& entry, LibzipView& view) {
    std::array<unsigned char, 46> header{};
    if (!reader.read(header.data(), header.size()) || le(header.data(), 4) != centralSignature) {
        return EZIP_E_STRUCTURE;
    }
    const unsigned char* p = header.data();
    entry.madeBy = static_cast<std::uint16_t>(le(p + 4, 2));
    entry.flags = static_cast<std::uint16_t>(le(p + 8, 2));
    entry.method = static_cast<std::uint16_t>(le(p + 10, 2));
    entry.crc = static_cast<std::uint32_t>(le(p + 16, 4));
    entry.dosTime = static_cast<std::uint32_t>(le(p + 14, 2) << 16U | le(p + 12, 2));
    entry.compressedSize = le(p + 20, 4);
    entry.size = le(p + 24, 4);
    const std::size_t nameLength = le(p + 28, 2);
    const std::size_t extraLength = le(p + 30, 2);
    const std::size_t commentLength = le(p + 32, 2);
    const std::uint64_t disk = le(p + 34, 2);
    entry.externalAttributes = static_cast<std::uint32_t>(le(p + 38, 4));
    entry.localOffset = le(p + 42, 4);
    entry.rawName.resize(nameLength);
    std::string extra(extraLength, '\0');
    std::string comment(commentLength, '\0');
    if (!reader.read(entry.rawName.data(), nameLength)) {
        return EZIP_E_STRUCTURE;
    }
    const std::uint64_t extraOffset = reader.offset();
    if (!reader.read(extra.data(), extraLength) || !reader.read(comment.data(), commentLength)) {
        return EZIP_E_STRUCTURE;
    }
    if (disk != 0 && disk != 0xFFFF) {
        return EZIP_E_STRUCTURE;
    }
    if (!applyZip64(extra, entry, entry.size == 0xFFFFFFFF, entry.compressedSize == 0xFFFFFFFF,
                    entry.localOffset == 0xFFFFFFFF)) {
        return EZIP_E_STRUCTURE;
    }
    const std::size_t stray = strayBytes(extra);
    if (extra.find_first_not_of('\0', extra.size() - stray) != std::string::npos) {
        view.zeroed.emplace_back(extraOffset + extra.size() - stray, stray);
    }
    entry.unicodeName = std::string(unicodePathField(extra, entry.rawName));
    return EZIP_OK;
}

int checkLocalHeader(const qlx::FileHandle& file, std::uint64_t directoryOffset,
                     CentralEntry& entry) {
    constexpr std::size_t fixedSize = 30;
    // The header and the name it must repeat, in one read: an archive of
    // tiny files pays a call per entry here.
    const std::size_t span = fixedSize + entry.rawName.size();
    if (entry.localOffset > directoryOffset || directoryOffset - entry.localOffset < span) {
        return EZIP_E_STRUCTURE;
    }
    std::string header(span, '\0');
    if (!readFully(file, entry.localOffset, header.data(), span)) {
        return EZIP_E_STRUCTURE;
    }
    const auto* fields = reinterpret_cast<const unsigned char*>(header.data());
    const std::size_t nameLength = le(fields + 26, 2);
    const std::size_t extraLength = le(fields + 28, 2);
    if (le(fields, 4) != localSignature || le(fields + 8, 2) != entry.method ||
        nameLength != entry.rawName.size() ||
        std::string_view(header).substr(fixedSize) != entry.rawName) {
        return EZIP_E_STRUCTURE;
    }
    const std::uint64_t dataStart = entry.localOffset + fixedSize + nameLength + extraLength;
    // A data descriptor takes at least 12 bytes after the data.
    const std::uint64_t descriptor = (entry.flags & 0x0008U) != 0 ? 12 : 0;
    if (entry.compressedSize > directoryOffset ||
        dataStart > directoryOffset - entry.compressedSize ||
        dataStart + entry.compressedSize + descriptor > directoryOffset) {
        return EZIP_E_OVERLAP;
    }
    entry.dataEnd = dataStart + entry.compressedSize + descriptor;
    return EZIP_OK;
}

} // namespace

int readCentralDirectory(const qlx::FileHandle& file, std::uint64_t maxEntries,
                         CentralDirectory& directory) {
    const std::optional<std::uint64_t> fileSize = qlx::fileSize(file);
    if (!fileSize) {
        return EZIP_E_OPEN;
    }
    EndRecord end;
    if (const int code = findEnd(file, *fileSize, end); code != EZIP_OK) {
        return code;
    }
    if (end.entries > maxEntries) {
        return EZIP_E_TOO_MANY_ENTRIES;
    }
    // Each entry takes at least 46 bytes of directory.
    if (end.entries > end.size / 46) {
        return EZIP_E_STRUCTURE;
    }
    directory.offset = end.offset + end.shift;
    directory.view.padding = end.padding;
    directory.view.shift = end.shift;
    directory.entries.assign(static_cast<std::size_t>(end.entries), CentralEntry{});
    Reader reader(file, directory.offset, end.position);
    for (auto& entry : directory.entries) {
        if (const int code = readEntry(reader, entry, directory.view); code != EZIP_OK) {
            return code;
        }
        // Every entry lies before the directory, as its offsets count.
        if (entry.localOffset > end.offset) {
            return EZIP_E_STRUCTURE;
        }
        entry.localOffset += end.shift;
        if (const int code = checkLocalHeader(file, directory.offset, entry); code != EZIP_OK) {
            return code;
        }
    }
    // Two entries sharing bytes are how a small archive claims huge contents.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
    ranges.reserve(directory.entries.size());
    for (const auto& entry : directory.entries) {
        ranges.emplace_back(entry.localOffset, entry.dataEnd);
    }
    std::sort(ranges.begin(), ranges.end());
    for (std::size_t i = 1; i < ranges.size(); ++i) {
        if (ranges[i].first < ranges[i - 1].second) {
            return EZIP_E_OVERLAP;
        }
    }
    return EZIP_OK;
}

} // namespace ezip

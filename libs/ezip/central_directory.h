#pragma once

#include "platform/file_handle.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ezip {

// One entry as the central directory and its local header describe it.
struct CentralEntry {
    std::uint16_t madeBy = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint32_t externalAttributes = 0;
    std::uint32_t crc = 0;
    std::uint32_t dosTime = 0; // MS-DOS date in the high half, time in the low
    std::uint64_t compressedSize = 0;
    std::uint64_t size = 0;
    std::uint64_t localOffset = 0;
    // First byte past the entry's data (without a data descriptor's variable part).
    std::uint64_t dataEnd = 0;
    std::string rawName;
    std::string unicodeName; // from an Info-ZIP Unicode path field, when valid
};

// How libzip must be shown the archive to open what the checks here accept:
// it refuses stray bytes after the last record of a central extra field
// unless they are zeros, and a comment whose length runs past the end of the
// file, and it reads offsets that bytes in front of the archive shifted as
// they stand. None of these changes what is unpacked.
struct LibzipView {
    // Bytes in front of the archive that libzip does not see.
    std::uint64_t shift = 0;
    // Offsets and lengths of stray bytes, in file order, that libzip reads as zeros.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> zeroed;
    // Zeros that libzip reads past the end of the file.
    std::uint64_t padding = 0;
};

struct CentralDirectory {
    std::vector<CentralEntry> entries;
    std::uint64_t offset = 0;
    LibzipView view;
};

// Reads the central directory and every local header of the open archive
// `file`, checking that the two agree and that every entry's data lies before
// the directory. Returns EZIP_OK or an EzipCode; refuses more than
// `maxEntries` entries before reading them. Stray bytes after the last record
// of an extra field, an archive comment that runs past the end of the file,
// and bytes in front of the archive that its offsets do not count are
// accepted, as other unpackers accept them. Every offset in `directory` is
// one in the file.
int readCentralDirectory(const qlx::FileHandle& file, std::uint64_t maxEntries,
                         CentralDirectory& directory);

} // namespace ezip

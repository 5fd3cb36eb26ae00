#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ezip {

// One entry as the central directory and its local header describe it.
struct CentralEntry {
    std::uint16_t madeBy = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint32_t externalAttributes = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t size = 0;
    std::uint64_t localOffset = 0;
    // First byte past the entry's data (without a data descriptor's variable part).
    std::uint64_t dataEnd = 0;
    std::string rawName;
    std::string unicodeName; // from an Info-ZIP Unicode path field, when valid
};

struct CentralDirectory {
    std::vector<CentralEntry> entries;
    std::uint64_t offset = 0;
};

// Reads the central directory and every local header of the archive open as
// `fd`, checking that the two agree and that every entry's data lies before
// the directory. Returns EZIP_OK or an EzipCode; refuses more than
// `maxEntries` entries before reading them.
int readCentralDirectory(int fd, std::uint64_t maxEntries, CentralDirectory& directory);

} // namespace ezip

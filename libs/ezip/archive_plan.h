#pragma once

#include "libs/ezip/central_directory.h"
#include "platform/file_handle.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ezip {

// What the archive will write, after every entry passed the checks.
struct PlannedFile {
    std::uint32_t index = 0; // the entry's index in the archive
    std::uint16_t method = 0;
    std::uint16_t flags = 0; // general purpose bits
    std::uint32_t crc = 0;
    std::uint32_t dosTime = 0;
    bool executable = false;
    // False when the archive carries no permissions for the entry (made on
    // Windows): a file it replaces then keeps the permissions it had.
    bool unixMode = false;
    std::uint64_t size = 0;
    std::uint64_t compressedSize = 0;
    // The bytes of the archive that reading the entry touches.
    std::uint64_t localOffset = 0;
    std::uint64_t dataEnd = 0;
    std::string path; // relative, "/"-separated, UTF-8
};

struct Plan {
    std::vector<PlannedFile> files;
    // Every folder the files need, explicit or implied, parents first.
    std::vector<std::string> folders;
    std::uint64_t totalSize = 0;
    LibzipView view;
};

// No limit on the compression ratio: zero-filled files and logs reach
// deflate's 1032:1, and what stops a bomb is that no entry is inflated past
// its declared size and that the declared sizes must fit the free space.
struct Limits {
    // No count of its own: each entry takes at least 46 bytes of a directory
    // that must lie inside the file, so the memory the directory takes here
    // and in libzip grows with the archive's size, not with what it claims.
    // What remains is libzip's index, which is 32 bits wide.
    std::uint64_t maxEntries = UINT32_MAX;
};

// Checks every entry's name, type, encryption and method, and that no two
// entries land on the same path. Returns EZIP_OK or an EzipCode.
int planExtraction(const CentralDirectory& directory, const Limits& limits, Plan& plan);

// Checks that the open folder `destination` can take the plan: no folder of
// the plan exists as a non-folder (or a link), no file as a folder, and the
// file system has room for everything.
int checkDestination(const qlx::FileHandle& destination, const Plan& plan);

// The folder part of a "/"-separated path; empty for a top-level name.
std::string_view parentOf(std::string_view path);

} // namespace ezip

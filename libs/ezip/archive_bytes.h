#pragma once

#include "platform/file_handle.h"

#include <cstddef>
#include <cstdint>

namespace ezip {

// The little-endian number in the `bytes` bytes at `p`, as zip records hold
// every number.
[[nodiscard]] inline std::uint64_t le(const unsigned char* p, int bytes) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = (value << 8U) | p[i];
    }
    return value;
}

// Reads exactly `length` bytes at `offset`; false on an error or a file that
// ends before them.
[[nodiscard]] bool readFully(const qlx::FileHandle& file, std::uint64_t offset, void* buffer,
                             std::size_t length);

} // namespace ezip

#include "libs/ezip/archive_bytes.h"

namespace ezip {

bool readFully(const qlx::FileHandle& file, std::uint64_t offset, void* buffer,
               std::size_t length) {
    auto* out = static_cast<unsigned char*>(buffer);
    while (length > 0) {
        const std::int64_t got = qlx::readAt(file, offset, out, length);
        if (got <= 0) {
            return false;
        }
        out += got;
        offset += static_cast<std::uint64_t>(got);
        length -= static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace ezip

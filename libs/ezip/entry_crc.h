#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <zlib.h>
#ifdef EZIP_WITH_LIBDEFLATE
#include <libdeflate.h>
#endif

namespace ezip {

// The zip CRC-32 of `data` continued from `crc`; libdeflate's runs several
// times faster than zlib's where it is at hand.
inline std::uint32_t crcOf(std::uint32_t crc, const unsigned char* data, std::size_t length) {
#ifdef EZIP_WITH_LIBDEFLATE
    return libdeflate_crc32(crc, data, length);
#else
    while (length > 0) {
        const auto take = static_cast<uInt>(std::min<std::size_t>(length, 1U << 30U));
        crc = static_cast<std::uint32_t>(crc32(crc, data, take));
        data += take;
        length -= take;
    }
    return crc;
#endif
}

} // namespace ezip

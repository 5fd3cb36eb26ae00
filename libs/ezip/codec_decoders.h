#pragma once

#include "libs/ezip/raw_decoder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace ezip {

// The output chunk a decoder may fill next: never more than one byte past the
// declared size, so that an entry that runs long is caught at its first extra
// byte instead of after a whole buffer of it.
inline std::size_t outputRoom(std::size_t buffer, std::uint64_t size, std::uint64_t produced) {
    return produced > size
               ? 0
               : static_cast<std::size_t>(std::min<std::uint64_t>(buffer, size - produced + 1));
}

inline constexpr std::size_t codecChunk = std::size_t{256} * 1024;

// One decoder per library, and our own for Deflate64; each follows decodeRaw().
int decodeDeflate64(RawInput& input, std::uint64_t size, DecodedSink& sink);
int decodeLzma(RawInput& input, std::uint64_t size, std::uint16_t flags, DecodedSink& sink);
int decodeXz(RawInput& input, std::uint64_t size, DecodedSink& sink);
int decodeZstd(RawInput& input, std::uint64_t size, DecodedSink& sink);

} // namespace ezip

#include "libs/ezip/raw_decoder.h"

#include "libs/ezip/codec_decoders.h"
#include "libs/ezip/ezip_codes.h"

namespace ezip {

namespace {

constexpr std::uint16_t methodStore = 0;
constexpr std::uint16_t methodDeflate = 8;
constexpr std::uint16_t methodDeflate64 = 9;
constexpr std::uint16_t methodLzma = 14;
constexpr std::uint16_t methodZstd = 93;
constexpr std::uint16_t methodXz = 95;

// Which decoders this build was given; a build without one refuses its method.
// Deflate64's is our own and always there.
#ifdef EZIP_WITH_LZMA
constexpr bool withLzma = true;
#else
constexpr bool withLzma = false;
#endif
#ifdef EZIP_WITH_ZSTD
constexpr bool withZstd = true;
#else
constexpr bool withZstd = false;
#endif

} // namespace

bool decodedHere(std::uint16_t method) {
    return method == methodDeflate64 ||
           (withLzma && (method == methodLzma || method == methodXz)) ||
           (withZstd && method == methodZstd);
}

bool methodSupported(std::uint16_t method) {
    // BZip2 and whatever else libzip was built with; the method numbers are
    // zip's own, which libzip uses as its constants.
    return method == methodStore || method == methodDeflate || decodedHere(method) ||
           zip_compression_method_supported(method, 0) != 0;
}

int decodeRaw(std::uint16_t method, RawInput& input, std::uint64_t size, std::uint16_t flags,
              DecodedSink& sink) {
    switch (method) {
    case methodDeflate64:
        return decodeDeflate64(input, size, sink);
#ifdef EZIP_WITH_LZMA
    case methodLzma:
        return decodeLzma(input, size, flags, sink);
    case methodXz:
        return decodeXz(input, size, sink);
#endif
#ifdef EZIP_WITH_ZSTD
    case methodZstd:
        return decodeZstd(input, size, sink);
#endif
    default:
        (void)input;
        (void)size;
        (void)flags;
        (void)sink;
        return EZIP_E_METHOD;
    }
}

} // namespace ezip

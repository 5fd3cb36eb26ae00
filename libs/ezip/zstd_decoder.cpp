#include "libs/ezip/codec_decoders.h"
#include "libs/ezip/ezip_codes.h"

#include <memory>
#include <zstd.h>

namespace ezip {

namespace {

struct ContextFree {
    void operator()(ZSTD_DCtx* context) const { ZSTD_freeDCtx(context); }
};

// A frame may ask for a window of up to 2 GiB, allocated before decoding;
// zstd's own default limit (128 MiB) covers every level a writer uses
// without --long.
constexpr int maxWindowLog = 27;

} // namespace

// The data is one or more zstd frames; each must end where the data does.
int decodeZstd(RawInput& input, std::uint64_t size, DecodedSink& sink) {
    const std::unique_ptr<ZSTD_DCtx, ContextFree> context(ZSTD_createDCtx());
    if (!context ||
        ZSTD_isError(ZSTD_DCtx_setParameter(context.get(), ZSTD_d_windowLogMax, maxWindowLog))) {
        return EZIP_E_INTERNAL;
    }
    const auto in = std::make_unique_for_overwrite<unsigned char[]>(codecChunk);
    const auto out = std::make_unique_for_overwrite<unsigned char[]>(codecChunk);
    ZSTD_inBuffer source{in.get(), 0, 0};
    std::uint64_t produced = 0;
    std::size_t pending = 1; // no frame is complete before the first byte
    bool ended = false;
    while (true) {
        if (source.pos == source.size && !ended) {
            const std::int64_t got = input.read(in.get(), codecChunk);
            if (got < 0) {
                return EZIP_E_DATA;
            }
            ended = got == 0;
            source = {in.get(), static_cast<std::size_t>(got), 0};
        }
        // A finished frame is flushed whole; another call would wait for the
        // header of a next one.
        if (ended && pending == 0) {
            return EZIP_OK;
        }
        const std::size_t room = outputRoom(codecChunk, size, produced);
        ZSTD_outBuffer target{out.get(), room, 0};
        pending = ZSTD_decompressStream(context.get(), &target, &source);
        if (ZSTD_isError(pending)) {
            return EZIP_E_DATA;
        }
        if (target.pos > 0 && !sink.put(out.get(), target.pos)) {
            return EZIP_E_STAGING;
        }
        produced += target.pos;
        if (ended && source.pos == source.size && target.pos < room) {
            return pending == 0 ? EZIP_OK : EZIP_E_DATA;
        }
    }
}

} // namespace ezip

#include "libs/ezip/codec_decoders.h"
#include "libs/ezip/ezip_codes.h"

#include <array>
#include <lzma.h>
#include <memory>

namespace ezip {

namespace {

// A dictionary is allocated whole before the first byte is decoded, and an
// archive of a few bytes may ask for 4 GiB; 7-Zip's largest presets stay well
// below this.
constexpr std::uint64_t memoryLimit = std::uint64_t{256} << 20U;
// The entry's data ends with an end-of-stream marker (general purpose bit 1).
constexpr std::uint16_t flagEndMarker = 0x0002;

struct StreamEnd {
    void operator()(lzma_stream* stream) const { lzma_end(stream); }
};

// Feeds `stream` until liblzma reports the end of the stream.
int run(lzma_stream& stream, RawInput& input, std::uint64_t size, DecodedSink& sink) {
    const std::unique_ptr<lzma_stream, StreamEnd> owner(&stream);
    const auto in = std::make_unique_for_overwrite<unsigned char[]>(codecChunk);
    const auto out = std::make_unique_for_overwrite<unsigned char[]>(codecChunk);
    std::uint64_t produced = 0;
    lzma_action action = LZMA_RUN;
    while (true) {
        if (stream.avail_in == 0 && action == LZMA_RUN) {
            const std::int64_t got = input.read(in.get(), codecChunk);
            if (got < 0) {
                return EZIP_E_DATA;
            }
            action = got == 0 ? LZMA_FINISH : LZMA_RUN;
            stream.next_in = in.get();
            stream.avail_in = static_cast<std::size_t>(got);
        }
        const std::size_t room = outputRoom(codecChunk, size, produced);
        stream.next_out = out.get();
        stream.avail_out = room;
        const lzma_ret result = lzma_code(&stream, action);
        const std::size_t made = room - stream.avail_out;
        if (made > 0 && !sink.put(out.get(), made)) {
            return EZIP_E_STAGING;
        }
        produced += made;
        if (result == LZMA_STREAM_END) {
            return EZIP_OK;
        }
        if (result != LZMA_OK) {
            return EZIP_E_DATA;
        }
    }
}

} // namespace

// Zip's LZMA data opens with a version, the length of the properties and the
// five bytes of properties; the rest is the LZMA stream that the .lzma
// format carries after the same properties and the decoded size.
int decodeLzma(RawInput& input, std::uint64_t size, std::uint16_t flags, DecodedSink& sink) {
    std::array<unsigned char, 9> prefix{};
    if (input.read(prefix.data(), prefix.size()) != static_cast<std::int64_t>(prefix.size()) ||
        prefix[2] != 5 || prefix[3] != 0) {
        return EZIP_E_DATA;
    }
    std::array<unsigned char, 13> header{};
    std::copy_n(prefix.begin() + 4, 5, header.begin());
    // With an end marker the stream says where it ends; a stream that runs
    // past the declared size is stopped by the sink either way.
    const std::uint64_t known = (flags & flagEndMarker) != 0 ? UINT64_MAX : size;
    for (int i = 0; i < 8; ++i) {
        header[5 + i] = static_cast<unsigned char>(known >> (8U * static_cast<unsigned>(i)));
    }
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_alone_decoder(&stream, memoryLimit) != LZMA_OK) {
        return EZIP_E_INTERNAL;
    }
    // The header goes in ahead of the entry's data: run() reads only once it is taken.
    stream.next_in = header.data();
    stream.avail_in = header.size();
    return run(stream, input, size, sink);
}

int decodeXz(RawInput& input, std::uint64_t size, DecodedSink& sink) {
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_stream_decoder(&stream, memoryLimit, 0) != LZMA_OK) {
        return EZIP_E_INTERNAL;
    }
    return run(stream, input, size, sink);
}

} // namespace ezip

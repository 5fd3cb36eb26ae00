#include "libs/ezip/codec_decoders.h"
#include "libs/ezip/ezip_codes.h"
#include "libs/ezip/huffman_input.h"

#include <algorithm>
#include <array>
#include <memory>

// Deflate64 is Deflate with a 64 KiB window: distance codes 30 and 31 reach
// its far half, and length code 285 carries 16 extra bits on a base of 3
// instead of meaning 258. zlib does not decode it, and the decoder its
// sources once carried is not part of Debian's zlib, so it is decoded here.
namespace ezip {

namespace {

constexpr std::size_t windowSize = std::size_t{1} << 16U;
constexpr std::size_t lengthSymbols = 286;
constexpr std::size_t distanceSymbols = 32;

constexpr std::array<std::uint16_t, 29> lengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                      67, 83, 99, 115, 131, 163, 195, 227, 3};
constexpr std::array<std::uint8_t, 29> lengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16};
constexpr std::array<std::uint32_t, distanceSymbols> distanceBase = {
    1,    2,    3,    4,    5,    7,     9,     13,    17,    25,   33,
    49,   65,   97,   129,  193,  257,   385,   513,   769,   1025, 1537,
    2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr std::array<std::uint8_t, distanceSymbols> distanceExtra = {
    0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
    7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
// The order in which a dynamic block lists the lengths of its code-length code.
constexpr std::array<std::uint8_t, 19> codeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                          11, 4,  12, 3, 13, 2, 14, 1, 15};

class Inflater {
public:
    Inflater(RawInput& input, std::uint64_t size, DecodedSink& sink)
        : in_(input), size_(size), sink_(sink),
          window_(std::make_unique<unsigned char[]>(windowSize)) {}

    int run();

private:
    int stored();
    int fixed();
    int dynamic();
    int readLengths(const Huffman& lengthCode, std::uint8_t* lengths, std::size_t count);
    int codes(const Huffman& literals, const Huffman& distances);
    int copy(std::uint32_t distance, std::uint32_t length);
    int push(unsigned char byte);
    int advance(std::size_t count);
    bool flush();

    BitReader in_;
    std::uint64_t size_;
    DecodedSink& sink_;
    std::unique_ptr<unsigned char[]> window_;
    std::size_t position_ = 0; // where the next byte goes in the window
    std::size_t flushed_ = 0;  // the window's bytes before this went to the sink
    std::uint64_t produced_ = 0;
};

int Inflater::run() {
    bool last = false;
    while (!last) {
        std::uint32_t header = 0;
        if (!in_.take(3, header)) {
            return EZIP_E_DATA;
        }
        last = (header & 1U) != 0;
        int code = EZIP_E_DATA;
        switch (header >> 1U) {
        case 0:
            code = stored();
            break;
        case 1:
            code = fixed();
            break;
        case 2:
            code = dynamic();
            break;
        default:
            break;
        }
        if (code != EZIP_OK) {
            return code;
        }
    }
    return flush() ? EZIP_OK : EZIP_E_STAGING;
}

int Inflater::stored() {
    in_.align();
    std::uint32_t length = 0;
    std::uint32_t complement = 0;
    if (!in_.take(16, length) || !in_.take(16, complement) || (length ^ complement) != 0xFFFFU) {
        return EZIP_E_DATA;
    }
    for (std::size_t left = length; left > 0;) {
        // At the declared size one byte more goes in, for advance() to stop at.
        const std::size_t room =
            std::max<std::size_t>(1, static_cast<std::size_t>(std::min<std::uint64_t>(
                                         {left, windowSize - position_, size_ - produced_})));
        std::size_t got = 0;
        if (!in_.bytes(window_.get() + position_, room, got)) {
            return EZIP_E_DATA;
        }
        if (const int code = advance(got); code != EZIP_OK) {
            return code;
        }
        left -= got;
    }
    return EZIP_OK;
}

int Inflater::fixed() {
    std::array<std::uint8_t, 288> literalLengths{};
    std::fill(literalLengths.begin(), literalLengths.begin() + 144, 8);
    std::fill(literalLengths.begin() + 144, literalLengths.begin() + 256, 9);
    std::fill(literalLengths.begin() + 256, literalLengths.begin() + 280, 7);
    std::fill(literalLengths.begin() + 280, literalLengths.end(), 8);
    std::array<std::uint8_t, distanceSymbols> distanceLengths{};
    distanceLengths.fill(5);
    Huffman literals;
    Huffman distances;
    literals.build(literalLengths.data(), literalLengths.size());
    distances.build(distanceLengths.data(), distanceLengths.size());
    return codes(literals, distances);
}

int Inflater::dynamic() {
    std::uint32_t literalCount = 0;
    std::uint32_t distanceCount = 0;
    std::uint32_t lengthCount = 0;
    if (!in_.take(5, literalCount) || !in_.take(5, distanceCount) || !in_.take(4, lengthCount)) {
        return EZIP_E_DATA;
    }
    literalCount += 257;
    distanceCount += 1;
    lengthCount += 4;
    if (literalCount > lengthSymbols) {
        return EZIP_E_DATA;
    }
    std::array<std::uint8_t, codeLengthOrder.size()> codeLengths{};
    for (std::uint32_t i = 0; i < lengthCount; ++i) {
        std::uint32_t length = 0;
        if (!in_.take(3, length)) {
            return EZIP_E_DATA;
        }
        codeLengths[codeLengthOrder[i]] = static_cast<std::uint8_t>(length);
    }
    Huffman lengthCode;
    if (!lengthCode.build(codeLengths.data(), codeLengths.size())) {
        return EZIP_E_DATA;
    }
    std::array<std::uint8_t, lengthSymbols + distanceSymbols> lengths{};
    if (const int code = readLengths(lengthCode, lengths.data(), literalCount + distanceCount);
        code != EZIP_OK) {
        return code;
    }
    Huffman literals;
    Huffman distances;
    // A block without an end-of-block code could never end.
    if (lengths[256] == 0 || !literals.build(lengths.data(), literalCount) ||
        !distances.build(lengths.data() + literalCount, distanceCount)) {
        return EZIP_E_DATA;
    }
    return codes(literals, distances);
}

// The code lengths of a dynamic block, with their runs of repeats and zeros.
int Inflater::readLengths(const Huffman& lengthCode, std::uint8_t* lengths, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const int symbol = lengthCode.decode(in_);
        if (symbol < 0) {
            return EZIP_E_DATA;
        }
        if (symbol < 16) {
            lengths[done++] = static_cast<std::uint8_t>(symbol);
            continue;
        }
        std::uint32_t repeat = 0;
        const unsigned extraBits = symbol == 16 ? 2 : symbol == 17 ? 3 : 7;
        if ((symbol == 16 && done == 0) || !in_.take(extraBits, repeat)) {
            return EZIP_E_DATA;
        }
        repeat += symbol == 18 ? 11 : 3;
        if (repeat > count - done) {
            return EZIP_E_DATA;
        }
        const std::uint8_t value = symbol == 16 ? lengths[done - 1] : 0;
        std::fill(lengths + done, lengths + done + repeat, value);
        done += repeat;
    }
    return EZIP_OK;
}

int Inflater::codes(const Huffman& literals, const Huffman& distances) {
    while (true) {
        const int symbol = literals.decode(in_);
        if (symbol < 0) {
            return EZIP_E_DATA;
        }
        if (symbol < 256) {
            if (const int code = push(static_cast<unsigned char>(symbol)); code != EZIP_OK) {
                return code;
            }
            continue;
        }
        if (symbol == 256) {
            return EZIP_OK;
        }
        const auto lengthIndex = static_cast<std::size_t>(symbol - 257);
        std::uint32_t lengthBits = 0;
        if (lengthIndex >= lengthBase.size() || !in_.take(lengthExtra[lengthIndex], lengthBits)) {
            return EZIP_E_DATA;
        }
        const int distanceSymbol = distances.decode(in_);
        std::uint32_t distanceBits = 0;
        if (distanceSymbol < 0 ||
            !in_.take(distanceExtra[static_cast<std::size_t>(distanceSymbol)], distanceBits)) {
            return EZIP_E_DATA;
        }
        const std::uint32_t distance =
            distanceBase[static_cast<std::size_t>(distanceSymbol)] + distanceBits;
        if (const int code = copy(distance, lengthBase[lengthIndex] + lengthBits);
            code != EZIP_OK) {
            return code;
        }
    }
}

// A distance past the first byte would read what no stream wrote.
int Inflater::copy(std::uint32_t distance, std::uint32_t length) {
    if (distance > produced_) {
        return EZIP_E_DATA;
    }
    for (std::uint32_t i = 0; i < length; ++i) {
        // The window is a power of two, so the index wraps with the mask.
        const unsigned char byte = window_[(position_ - distance) & (windowSize - 1)];
        if (const int code = push(byte); code != EZIP_OK) {
            return code;
        }
    }
    return EZIP_OK;
}

// Hands the window on when it is full, and stops one byte past the declared
// size, where the sink refuses.
int Inflater::push(unsigned char byte) {
    window_[position_] = byte;
    return advance(1);
}

// Counts `count` bytes just put into the window.
int Inflater::advance(std::size_t count) {
    position_ += count;
    produced_ += count;
    if (position_ == windowSize || produced_ > size_) {
        if (!flush() || produced_ > size_) {
            return EZIP_E_STAGING;
        }
    }
    return EZIP_OK;
}

bool Inflater::flush() {
    if (position_ > flushed_ && !sink_.put(window_.get() + flushed_, position_ - flushed_)) {
        return false;
    }
    if (position_ == windowSize) {
        position_ = 0;
    }
    flushed_ = position_;
    return true;
}

} // namespace

// The data is one Deflate64 stream; what follows its last block is not read.
int decodeDeflate64(RawInput& input, std::uint64_t size, DecodedSink& sink) {
    Inflater inflater(input, size, sink);
    return inflater.run();
}

} // namespace ezip

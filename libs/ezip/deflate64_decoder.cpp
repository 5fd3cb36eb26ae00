#include "libs/ezip/codec_decoders.h"
#include "libs/ezip/ezip_codes.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

// Deflate64 is Deflate with a 64 KiB window: distance codes 30 and 31 reach
// its far half, and length code 285 carries 16 extra bits on a base of 3
// instead of meaning 258. zlib does not decode it, and the decoder its
// sources once carried is not part of Debian's zlib, so it is decoded here.
namespace ezip {

namespace {

constexpr std::size_t windowSize = std::size_t{1} << 16U;
constexpr unsigned maxCodeBits = 15;
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

// The compressed bits, first bit lowest, read ahead into one word.
class BitReader {
public:
    explicit BitReader(RawInput& input)
        : input_(input), buffer_(std::make_unique<unsigned char[]>(codecChunk)) {}

    // Tops the word up as far as the input goes; false on a read error.
    bool fill() {
        while (count_ <= 56) {
            if (next_ == end_) {
                if (ended_) {
                    return true;
                }
                const std::int64_t got = input_.read(buffer_.get(), codecChunk);
                if (got <= 0) {
                    ended_ = true;
                    return got == 0;
                }
                next_ = buffer_.get();
                end_ = next_ + got;
            }
            bits_ |= std::uint64_t{*next_++} << count_;
            count_ += 8;
        }
        return true;
    }

    // The next `n` (at most 32) bits; false when the data ends before them.
    bool take(unsigned n, std::uint32_t& value) {
        if (count_ < n && (!fill() || count_ < n)) {
            return false;
        }
        value = static_cast<std::uint32_t>(bits_ & ((std::uint64_t{1} << n) - 1));
        drop(n);
        return true;
    }

    [[nodiscard]] std::uint64_t bits() const { return bits_; }
    [[nodiscard]] unsigned count() const { return count_; }
    void drop(unsigned n) {
        bits_ >>= n;
        count_ -= n;
    }
    // To the next byte boundary, where a stored block's data begins.
    void align() { drop(count_ % 8); }

    // Whole bytes after a byte boundary, as many as come at once up to
    // `length`; false when the data ends first.
    bool bytes(unsigned char* out, std::size_t length, std::size_t& got) {
        if (count_ == 0 && next_ == end_ && !fill()) {
            return false;
        }
        if (count_ >= 8) {
            *out = static_cast<unsigned char>(bits_);
            drop(8);
            got = 1;
            return true;
        }
        if (next_ == end_) {
            return false;
        }
        got = std::min(length, static_cast<std::size_t>(end_ - next_));
        std::copy_n(next_, got, out);
        next_ += got;
        return true;
    }

private:
    RawInput& input_;
    std::unique_ptr<unsigned char[]> buffer_;
    const unsigned char* next_ = nullptr;
    const unsigned char* end_ = nullptr;
    bool ended_ = false;
    std::uint64_t bits_ = 0;
    unsigned count_ = 0;
};

// A canonical Huffman code as a table indexed by the next bits of the input:
// each entry holds a symbol and the length of its code, or 0 where no code
// begins with those bits (an incomplete code).
class Huffman {
public:
    // False for lengths that no prefix code has (more codes than fit).
    bool build(const std::uint8_t* lengths, std::size_t count) {
        std::array<std::uint32_t, maxCodeBits + 1> perLength{};
        unsigned longest = 1;
        for (std::size_t i = 0; i < count; ++i) {
            ++perLength[lengths[i]];
            longest = std::max<unsigned>(longest, lengths[i]);
        }
        perLength[0] = 0;
        std::array<std::uint32_t, maxCodeBits + 1> next{};
        std::int64_t room = 1;
        for (unsigned length = 1; length <= maxCodeBits; ++length) {
            room = 2 * room - perLength[length];
            if (room < 0) {
                return false;
            }
            next[length] = (next[length - 1] + perLength[length - 1]) << 1U;
        }
        bits_ = longest;
        table_.assign(std::size_t{1} << bits_, 0);
        for (std::size_t symbol = 0; symbol < count; ++symbol) {
            const unsigned length = lengths[symbol];
            if (length != 0) {
                fill(next[length]++, length, static_cast<std::uint32_t>(symbol));
            }
        }
        return true;
    }

    // The next symbol, or -1 where the bits are no code or the data ends.
    int decode(BitReader& in) const {
        if (in.count() < bits_ && !in.fill()) {
            return -1;
        }
        const std::uint32_t entry = table_[in.bits() & (table_.size() - 1)];
        const unsigned length = entry & 0xFU;
        if (length == 0 || length > in.count()) {
            return -1;
        }
        in.drop(length);
        return static_cast<int>(entry >> 4U);
    }

private:
    // The input holds a code's first bit lowest, so its table index is the
    // code reversed, with every value of the bits after it.
    void fill(std::uint32_t code, unsigned length, std::uint32_t symbol) {
        std::uint32_t reversed = 0;
        for (unsigned i = 0; i < length; ++i) {
            reversed = (reversed << 1U) | ((code >> i) & 1U);
        }
        for (std::size_t at = reversed; at < table_.size(); at += std::size_t{1} << length) {
            table_[at] = (symbol << 4U) | length;
        }
    }

    std::vector<std::uint32_t> table_;
    unsigned bits_ = 1;
};

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

#pragma once

#include "libs/ezip/codec_decoders.h"
#include "libs/ezip/raw_decoder.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// The bit-level reading of Deflate and its kin: the input's bits and the
// prefix codes that its blocks are written in.
namespace ezip {

inline constexpr unsigned maxCodeBits = 15;

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

} // namespace ezip

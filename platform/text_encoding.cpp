#include "platform/text_encoding.h"

#include <cstdint>

namespace qlx {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// What a lead byte starts: the sequence's length (0 for a byte that starts
// none), the code point's bits in it, and the least code point of that length.
struct Lead {
    std::size_t length = 0;
    char32_t bits = 0;
    char32_t minimum = 0;
};

Lead leadOf(std::uint8_t lead) {
    if (lead < 0x80) {
        return {1, lead, 0};
    }
    if ((lead & 0xE0) == 0xC0) {
        return {2, lead & 0x1Fu, 0x80};
    }
    if ((lead & 0xF0) == 0xE0) {
        return {3, lead & 0x0Fu, 0x800};
    }
    if ((lead & 0xF8) == 0xF0) {
        return {4, lead & 0x07u, 0x10000};
    }
    return {};
}

// The sequence at `pos`. A malformed one is U+FFFD and takes its lead byte
// and the continuation bytes that follow it, so that a reader goes on at the
// next byte that can start a character.
struct Sequence {
    char32_t cp = kReplacement;
    std::size_t length = 1;
    bool valid = false;
};

Sequence sequenceAt(std::string_view text, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const Lead lead = leadOf(byte(pos));
    if (lead.length == 0) {
        return {};
    }
    char32_t cp = lead.bits;
    for (std::size_t i = 1; i < lead.length; ++i) {
        if (pos + i >= text.size() || (byte(pos + i) & 0xC0) != 0x80) {
            return {kReplacement, i, false};
        }
        cp = (cp << 6) | (byte(pos + i) & 0x3Fu);
    }
    if (cp < lead.minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return {kReplacement, lead.length, false};
    }
    return {cp, lead.length, true};
}

} // namespace

std::optional<char32_t> nextCodePoint(std::string_view text, std::size_t& pos) {
    const Sequence sequence = sequenceAt(text, pos);
    if (!sequence.valid) {
        return std::nullopt;
    }
    pos += sequence.length;
    return sequence.cp;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::u16string utf8ToUtf16(const std::string& text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const Sequence sequence = sequenceAt(text, pos);
        pos += sequence.length;
        if (sequence.cp >= 0x10000) {
            const char32_t v = sequence.cp - 0x10000;
            out += static_cast<char16_t>(0xD800 + (v >> 10));
            out += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
        } else {
            out += static_cast<char16_t>(sequence.cp);
        }
    }
    return out;
}

std::string utf16ToUtf8(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        char32_t cp = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
                cp = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                     (static_cast<char32_t>(text[i + 1]) - 0xDC00);
                ++i;
            } else {
                cp = kReplacement;
            }
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            cp = kReplacement;
        }
        appendUtf8(out, cp);
    }
    return out;
}

} // namespace qlx

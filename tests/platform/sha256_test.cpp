#include "platform/sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace qlx {
namespace {

// The digest of `text` fed in pieces of `piece` bytes, in hex.
std::string sha256Of(const std::string& text, std::size_t piece) {
    Sha256 hash;
    for (std::size_t at = 0; at < text.size(); at += piece) {
        hash.add(text.data() + at, std::min(piece, text.size() - at));
    }
    std::string hex;
    for (const unsigned char byte : hash.finish().value_or(Sha256Digest{})) {
        hex += {"0123456789abcdef"[byte >> 4U], "0123456789abcdef"[byte & 0xFU]};
    }
    return hex;
}

// The standard's long example, in pieces that straddle its 64-byte blocks.
TEST(Sha256, ComputesTheStandardsExampleInPieces) {
    EXPECT_EQ(sha256Of(std::string(1000000, 'a'), 63),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

} // namespace
} // namespace qlx

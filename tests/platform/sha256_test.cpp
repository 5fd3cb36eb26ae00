#include "platform/sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace qlx {
namespace {

std::string hexOf(const Sha256Digest& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char byte : digest) {
        hex += kDigits[byte >> 4U];
        hex += kDigits[byte & 0xFU];
    }
    return hex;
}

// The digest of `text` fed in pieces of `piece` bytes.
std::string sha256Of(const std::string& text, std::size_t piece) {
    Sha256 hash;
    for (std::size_t at = 0; at < text.size(); at += piece) {
        hash.add(text.data() + at, std::min(piece, text.size() - at));
    }
    const std::optional<Sha256Digest> digest = hash.finish();
    return digest ? hexOf(*digest) : "the system did not compute it";
}

// The standard's examples, whole and in pieces that straddle its 64-byte
// blocks, so that a digest of another algorithm or a lost piece shows.
TEST(Sha256, ComputesTheStandardsExamplesInAnyPieces) {
    const std::string million(1000000, 'a');
    for (const std::size_t piece : {std::size_t{1}, std::size_t{63}, std::size_t{1} << 20U}) {
        EXPECT_EQ(sha256Of("", piece),
                  "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
        EXPECT_EQ(sha256Of("abc", piece),
                  "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
        EXPECT_EQ(sha256Of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", piece),
                  "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
        if (piece > 1) {
            EXPECT_EQ(sha256Of(million, piece),
                      "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
        }
    }
}

} // namespace
} // namespace qlx

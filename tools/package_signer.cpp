#include "tools/package_signer.h"

#include "package/package_signature.h"
#include "tools/package_keys.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <sodium.h>

namespace qlx::publish {

namespace {

constexpr std::size_t kMaxComment = 0xFFFF;

std::size_t commentLengthAt(const Bytes& archive, std::size_t record) {
    const auto byte = [&](std::size_t i) {
        return static_cast<std::size_t>(static_cast<unsigned char>(archive[record + i]));
    };
    return byte(kCommentLengthOffset) | byte(kCommentLengthOffset + 1) << 8U;
}

// Where the end-of-central-directory record lies: the last record signature
// whose comment ends exactly where the archive ends. A zip reader looks for it
// from the end too; anything after the comment would be left out of the
// signature and is refused instead.
std::optional<std::size_t> endRecordOf(const Bytes& archive) {
    if (archive.size() < kEndRecordSize) {
        return std::nullopt;
    }
    const std::size_t last = archive.size() - kEndRecordSize;
    const std::size_t first = last > kMaxComment ? last - kMaxComment : 0;
    for (std::size_t at = last + 1; at-- > first;) {
        if (std::equal(kEndRecordSignature.begin(), kEndRecordSignature.end(),
                       reinterpret_cast<const unsigned char*>(archive.data()) + at) &&
            at + kEndRecordSize + commentLengthAt(archive, at) == archive.size()) {
            return at;
        }
    }
    return std::nullopt;
}

} // namespace

Signing signPackage(Bytes& archive, const SecretKey& key) {
    Signing result;
    const std::optional<std::size_t> record = endRecordOf(archive);
    if (!record) {
        result.error = "it does not end with a zip end-of-central-directory record";
        return result;
    }
    result.replacedComment = commentLengthAt(archive, *record) != 0;
    // The new comment's length goes in first: it is among the signed bytes.
    archive.resize(*record + kEndRecordSize);
    archive[*record + kCommentLengthOffset] = static_cast<char>(kSignatureCommentSize & 0xFFU);
    archive[*record + kCommentLengthOffset + 1] = static_cast<char>(kSignatureCommentSize >> 8U);

    crypto_sign_state state;
    std::array<unsigned char, kSignatureSize> signature{};
    if (crypto_sign_init(&state) != 0 ||
        crypto_sign_update(&state, reinterpret_cast<const unsigned char*>(archive.data()),
                           archive.size()) != 0 ||
        crypto_sign_final_create(&state, signature.data(), nullptr, key.bytes().data()) != 0) {
        result.error = "libsodium could not sign it";
        return result;
    }
    const std::string comment = signatureComment(signature);
    archive.insert(archive.end(), comment.begin(), comment.end());
    result.signedIt = true;
    return result;
}

} // namespace qlx::publish

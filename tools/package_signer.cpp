#include "tools/package_signer.h"

#include "package/package_signature.h"
#include "tools/package_keys.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <sodium.h>

namespace qlx::publish {

namespace {

std::size_t commentLengthAt(const Bytes& archive, std::size_t record) {
    const auto byte = [&](std::size_t i) {
        return static_cast<std::size_t>(static_cast<unsigned char>(archive[record + i]));
    };
    return byte(kCommentLengthOffset) | byte(kCommentLengthOffset + 1) << 8U;
}

} // namespace

Signing signPackage(Bytes& archive, const SecretKey& key, const PackagePlace& place) {
    Signing result;
    // Anything after the comment would be left out of the signature; the
    // record is looked for from the end, as a zip reader does.
    const std::optional<std::size_t> record =
        endRecordOf(reinterpret_cast<const unsigned char*>(archive.data()), archive.size());
    if (!record) {
        result.error = "it does not end with a zip end-of-central-directory record";
        return result;
    }
    if (encodePlace(place).size() > kMaxPlaceSize) {
        result.error = "the names of its row are too long to sign";
        return result;
    }
    result.replacedComment = commentLengthAt(archive, *record) != 0;
    // The new comment's length goes in first: it is among the signed bytes.
    const std::size_t commentSize = signatureComment(key.publicKey(), place, {}).size();
    archive.resize(*record + kEndRecordSize);
    archive[*record + kCommentLengthOffset] = static_cast<char>(commentSize & 0xFFU);
    archive[*record + kCommentLengthOffset + 1] = static_cast<char>(commentSize >> 8U);
    const std::optional<std::string> statement = statementOf(archive, place);
    if (!statement) {
        result.error = "the system could not compute its SHA-256";
        return result;
    }

    std::array<unsigned char, kSignatureSize> signature{};
    if (crypto_sign_detached(signature.data(), nullptr,
                             reinterpret_cast<const unsigned char*>(statement->data()),
                             statement->size(), key.bytes().data()) != 0) {
        result.error = "libsodium could not sign it";
        return result;
    }
    const std::string comment = signatureComment(key.publicKey(), place, signature);
    archive.insert(archive.end(), comment.begin(), comment.end());
    result.signedIt = true;
    return result;
}

} // namespace qlx::publish

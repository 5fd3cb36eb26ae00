#pragma once

#include "base/bytes.h"
#include "package/package_key.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace qlx {

class ExclusiveFile;

// A signed package is a plain zip archive whose comment, the last bytes of the
// file after the end-of-central-directory record, is kSignaturePrefix and the
// 128 lowercase hex digits of an Ed25519ph signature over every byte before
// the comment. The record's comment-length field lies among the signed bytes,
// so the signature fixes where the comment starts, and nothing can be added
// after it. The comment is text without the record's signature bytes, so a zip
// reader that looks for the record from the end finds this one.
inline constexpr std::string_view kSignaturePrefix = "QLXSIG1 ";
inline constexpr std::size_t kSignatureSize = 64;
inline constexpr std::size_t kSignatureCommentSize = kSignaturePrefix.size() + 2 * kSignatureSize;
// The end-of-central-directory record without its comment, and where in it
// the comment's length is kept (16 bits, little-endian).
inline constexpr std::size_t kEndRecordSize = 22;
inline constexpr std::size_t kCommentLengthOffset = 20;
inline constexpr std::array<unsigned char, 4> kEndRecordSignature = {'P', 'K', 5, 6};

// The comment that carries `signature`.
[[nodiscard]] std::string
signatureComment(const std::array<unsigned char, kSignatureSize>& signature);

// Checks a package's signature over its bytes as they pass by, so that a
// package is hashed while it is read or written rather than after.
class PackageVerifier {
public:
    // `packageSize`: how many bytes add() will be given in all.
    PackageVerifier(const PackageKey& key, std::uint64_t packageSize);
    ~PackageVerifier();
    PackageVerifier(const PackageVerifier&) = delete;
    PackageVerifier& operator=(const PackageVerifier&) = delete;

    // The package's next bytes, in order.
    void add(const char* data, std::size_t size);
    // Once every byte was added: true when the package carries a signature of
    // the key over all of it. A package of any other size, or with no or a
    // malformed signature comment, is not signed. Call once.
    [[nodiscard]] bool signedByKey();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Whether `package` carries a signature of `key`.
[[nodiscard]] bool isSignedPackage(const PackageKey& key, const Bytes& package);

// Whether the file open in `file` carries a signature of `key`, read through
// that handle: while it stays open nobody else writes it, so what is checked
// here is what is unpacked afterwards. False also when it cannot be read.
[[nodiscard]] bool isSignedPackageFile(const PackageKey& key, ExclusiveFile& file);

} // namespace qlx

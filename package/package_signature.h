#pragma once

#include "base/bytes.h"
#include "package/package_key.h"
#include "package/package_place.h"
#include "platform/sha256.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qlx {

class ExclusiveFile;

// A signed package is a plain zip archive whose comment, the last bytes of the
// file after the end-of-central-directory record, is
//   kSignaturePrefix, the key's fingerprint, " ", the 128 hex digits of an
//   Ed25519 signature, " ", and the hex digits of the place it was signed for,
// all lowercase. The signature signs a short statement (packageStatement):
// kStatementTag, the SHA-256 of every byte before the comment, the number of
// those bytes (64 bits, little-endian), then the place (encodePlace). The
// record's comment-length field lies among the hashed bytes, so nothing can be
// added after the comment. The comment is text without the record's signature
// bytes, so a zip reader that looks for the record from the end finds this one.
// Hashing the archive with SHA-256 rather than signing it whole with Ed25519ph
// lets the system's SHA instructions do the work that dominates a signed
// update.
inline constexpr std::string_view kSignaturePrefix = "QLXSIG3 ";
// What earlier publishers wrote: a signature of the bytes alone, then an
// Ed25519ph one over the bytes and the place. Both are refused.
inline constexpr std::array<std::string_view, 2> kOldSignaturePrefixes = {"QLXSIG1 ", "QLXSIG2 "};
inline constexpr std::string_view kStatementTag = "qlx-package-statement-3";
inline constexpr std::size_t kSignatureSize = 64;
inline constexpr std::size_t kFingerprintDigits = 16;
// The longest place a signature carries, encoded, and so the longest comment.
inline constexpr std::size_t kMaxPlaceSize = 1024;
inline constexpr std::size_t kMaxSignatureCommentSize =
    kSignaturePrefix.size() + kFingerprintDigits + 1 + 2 * kSignatureSize + 1 + 2 * kMaxPlaceSize;
// The end-of-central-directory record without its comment, and where in it
// the comment's length is kept (16 bits, little-endian).
inline constexpr std::size_t kEndRecordSize = 22;
inline constexpr std::size_t kCommentLengthOffset = 20;
inline constexpr std::array<unsigned char, 4> kEndRecordSignature = {'P', 'K', 5, 6};

// The short fingerprint that names `key`: 16 hex digits of its SHA-256.
[[nodiscard]] std::string keyFingerprint(const PackageKey& key);

// What a signature for `place` signs, for an archive whose `signedSize` bytes
// before the comment have the SHA-256 `archiveHash`.
[[nodiscard]] std::string packageStatement(const Sha256Digest& archiveHash,
                                           std::uint64_t signedSize, const PackagePlace& place);
// The statement of the archive whose bytes before the comment are
// `signedBytes`; nullopt when the system could not hash them.
[[nodiscard]] std::optional<std::string> statementOf(const Bytes& signedBytes,
                                                     const PackagePlace& place);

// The comment that carries `signature` by `key` for `place`.
[[nodiscard]] std::string
signatureComment(const PackageKey& key, const PackagePlace& place,
                 const std::array<unsigned char, kSignatureSize>& signature);

// Where the end-of-central-directory record of `archive` (`size` bytes) lies:
// the last record signature whose comment ends exactly where the archive ends.
[[nodiscard]] std::optional<std::size_t> endRecordOf(const unsigned char* archive,
                                                     std::size_t size);

// What a package's signature says, read without any key.
struct PackageSignature {
    // Damaged: a current signature's comment that no longer parses, which a
    // publisher must not mistake for a package never signed.
    enum class Format { None, Old, Current, Damaged };
    Format format = Format::None;
    std::string fingerprint;
    std::optional<PackagePlace> place;
};
[[nodiscard]] PackageSignature readSignature(const Bytes& package);

// What the check of a package found.
enum class SignatureCheck {
    Signed,     // by one of the keys, for the place it sits in
    NotSigned,  // no signature, an old one, another key's, or changed bytes
    WrongPlace, // soundly signed, but for another place
};

// Checks a package's signature over its bytes as they pass by, so that a
// package is hashed while it is read or written rather than after.
class PackageVerifier {
public:
    // `packageSize`: how many bytes add() will be given in all, when it is
    // known beforehand; `place`: where the package was found. Only the last
    // bytes are held, so a package of any size is checked in little memory.
    PackageVerifier(const PackageKeys& keys, PackagePlace place,
                    std::optional<std::uint64_t> packageSize = std::nullopt);
    ~PackageVerifier();
    PackageVerifier(const PackageVerifier&) = delete;
    PackageVerifier& operator=(const PackageVerifier&) = delete;

    // The package's next bytes, in order.
    void add(const char* data, std::size_t size);
    // Once every byte was added. Call once.
    [[nodiscard]] SignatureCheck result();

private:
    struct State;
    std::unique_ptr<State> state_;
};

[[nodiscard]] SignatureCheck checkPackage(const PackageKeys& keys, const PackagePlace& place,
                                          const Bytes& package);

// The check of the file open in `file`, read through that handle: while it
// stays open nobody else writes it, so what is checked here is what is
// unpacked afterwards. NotSigned also when it cannot be read.
[[nodiscard]] SignatureCheck checkPackageFile(const PackageKeys& keys, const PackagePlace& place,
                                              ExclusiveFile& file);

} // namespace qlx

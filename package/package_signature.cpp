#include "package/package_signature.h"

#include "platform/exclusive_file.h"

#include <algorithm>
#include <cstring>
#include <sodium.h>
#include <vector>

namespace qlx {

namespace {

constexpr std::size_t kTailSize = kEndRecordSize + kSignatureCommentSize;

bool sodiumReady() {
    // sodium_init is safe to call from several threads and more than once.
    static const bool ready = sodium_init() >= 0;
    return ready;
}

} // namespace

std::string signatureComment(const std::array<unsigned char, kSignatureSize>& signature) {
    std::array<char, 2 * kSignatureSize + 1> hex{};
    sodium_bin2hex(hex.data(), hex.size(), signature.data(), signature.size());
    return std::string(kSignaturePrefix) + std::string(hex.data(), 2 * kSignatureSize);
}

struct PackageVerifier::State {
    PackageKey key;
    std::uint64_t size = 0;
    std::uint64_t seen = 0;
    bool possible = false; // large enough to hold a signature comment
    crypto_sign_state hash{};
    // The end record and the comment: the last kTailSize bytes.
    std::array<unsigned char, kTailSize> tail{};
};

PackageVerifier::PackageVerifier(const PackageKey& key, std::uint64_t packageSize)
    : state_(std::make_unique<State>()) {
    state_->key = key;
    state_->size = packageSize;
    state_->possible = packageSize >= kTailSize && sodiumReady();
    if (state_->possible) {
        crypto_sign_init(&state_->hash);
    }
}

PackageVerifier::~PackageVerifier() = default;

void PackageVerifier::add(const char* data, std::size_t size) {
    State& s = *state_;
    const std::uint64_t start = s.seen;
    s.seen += size;
    if (!s.possible || s.seen > s.size) {
        s.possible = false;
        return;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    const std::uint64_t signedSize = s.size - kSignatureCommentSize;
    if (start < signedSize) {
        const auto count =
            static_cast<std::size_t>(std::min<std::uint64_t>(size, signedSize - start));
        crypto_sign_update(&s.hash, bytes, count);
    }
    const std::uint64_t tailStart = s.size - kTailSize;
    const std::uint64_t from = std::max(start, tailStart);
    if (from < s.seen) {
        std::memcpy(s.tail.data() + (from - tailStart), bytes + (from - start),
                    static_cast<std::size_t>(s.seen - from));
    }
}

bool PackageVerifier::signedByKey() {
    State& s = *state_;
    if (!s.possible || s.seen != s.size) {
        return false;
    }
    const unsigned char* record = s.tail.data();
    const unsigned char* comment = record + kEndRecordSize;
    const std::size_t commentLength =
        record[kCommentLengthOffset] | static_cast<std::size_t>(record[kCommentLengthOffset + 1])
                                           << 8U;
    if (!std::equal(kEndRecordSignature.begin(), kEndRecordSignature.end(), record) ||
        commentLength != kSignatureCommentSize ||
        std::memcmp(comment, kSignaturePrefix.data(), kSignaturePrefix.size()) != 0) {
        return false;
    }
    std::array<unsigned char, kSignatureSize> signature{};
    const std::string_view hex(reinterpret_cast<const char*>(comment) + kSignaturePrefix.size(),
                               2 * kSignatureSize);
    if (!decodeLowerHex(hex, signature)) {
        return false;
    }
    return crypto_sign_final_verify(&s.hash, signature.data(), s.key.bytes.data()) == 0;
}

bool isSignedPackage(const PackageKey& key, const Bytes& package) {
    PackageVerifier verifier(key, package.size());
    verifier.add(package.data(), package.size());
    return verifier.signedByKey();
}

bool isSignedPackageFile(const PackageKey& key, ExclusiveFile& file) {
    const std::optional<std::uint64_t> size = file.size();
    if (!size) {
        return false;
    }
    PackageVerifier verifier(key, *size);
    std::vector<char> buffer(std::size_t{1} << 20U);
    std::uint64_t offset = 0;
    while (offset < *size) {
        const std::int64_t got = file.readAt(offset, buffer.data(), buffer.size());
        if (got <= 0) {
            return false;
        }
        verifier.add(buffer.data(), static_cast<std::size_t>(got));
        offset += static_cast<std::uint64_t>(got);
    }
    return verifier.signedByKey();
}

} // namespace qlx

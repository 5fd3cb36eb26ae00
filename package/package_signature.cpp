#include "package/package_signature.h"

#include "platform/exclusive_file.h"

#include <algorithm>
#include <cstring>
#include <sodium.h>
#include <vector>

namespace qlx {

namespace {

constexpr std::size_t kMaxTail = kEndRecordSize + kMaxSignatureCommentSize;

bool sodiumReady() {
    // sodium_init is safe to call from several threads and more than once.
    static const bool ready = sodium_init() >= 0;
    return ready;
}

std::string lowerHex(const unsigned char* bytes, std::size_t size) {
    std::string hex(2 * size + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), bytes, size);
    hex.pop_back();
    return hex;
}

std::optional<std::string> fromLowerHex(std::string_view hex) {
    std::string out(hex.size() / 2, '\0');
    for (std::size_t i = 0; i < out.size(); ++i) {
        std::array<unsigned char, 1> byte{};
        if (!decodeLowerHex(hex.substr(2 * i, 2), byte)) {
            return std::nullopt;
        }
        out[i] = static_cast<char>(byte[0]);
    }
    return hex.size() % 2 == 0 ? std::optional(out) : std::nullopt;
}

// The parts of a current signature comment.
struct ParsedComment {
    std::string fingerprint;
    std::array<unsigned char, kSignatureSize> signature{};
    PackagePlace place;
};

std::optional<ParsedComment> parseComment(std::string_view comment) {
    if (!comment.starts_with(kSignaturePrefix)) {
        return std::nullopt;
    }
    comment.remove_prefix(kSignaturePrefix.size());
    constexpr std::size_t sigAt = kFingerprintDigits + 1;
    constexpr std::size_t placeAt = sigAt + 2 * kSignatureSize + 1;
    ParsedComment parsed;
    std::array<unsigned char, kFingerprintDigits / 2> fingerprint{};
    if (comment.size() < placeAt || comment[sigAt - 1] != ' ' || comment[placeAt - 1] != ' ' ||
        !decodeLowerHex(comment.substr(0, kFingerprintDigits), fingerprint) ||
        !decodeLowerHex(comment.substr(sigAt, 2 * kSignatureSize), parsed.signature)) {
        return std::nullopt;
    }
    const std::optional<std::string> place = fromLowerHex(comment.substr(placeAt));
    const std::optional<PackagePlace> decoded = place ? decodePlace(*place) : std::nullopt;
    if (!decoded) {
        return std::nullopt;
    }
    parsed.fingerprint = std::string(comment.substr(0, kFingerprintDigits));
    parsed.place = *decoded;
    return parsed;
}

// The comment of the archive whose last bytes are `tail`, and how many of
// those come before it.
std::optional<std::string_view> commentIn(const std::vector<unsigned char>& tail,
                                          std::size_t& before) {
    const std::optional<std::size_t> record = endRecordOf(tail.data(), tail.size());
    if (!record) {
        return std::nullopt;
    }
    before = *record + kEndRecordSize;
    return std::string_view(reinterpret_cast<const char*>(tail.data()) + before,
                            tail.size() - before);
}

const PackageKey* keyNamed(const PackageKeys& keys, const std::string& fingerprint) {
    const auto found = std::find_if(keys.begin(), keys.end(), [&](const PackageKey& key) {
        return keyFingerprint(key) == fingerprint;
    });
    return found == keys.end() ? nullptr : &*found;
}

} // namespace

std::string keyFingerprint(const PackageKey& key) {
    std::array<unsigned char, crypto_hash_sha256_BYTES> hash{};
    if (!sodiumReady()) {
        return {};
    }
    crypto_hash_sha256(hash.data(), key.bytes.data(), key.bytes.size());
    return lowerHex(hash.data(), kFingerprintDigits / 2);
}

std::string packageStatement(const Sha256Digest& archiveHash, std::uint64_t signedSize,
                             const PackagePlace& place) {
    std::string statement(kStatementTag);
    statement.append(archiveHash.begin(), archiveHash.end());
    for (unsigned shift = 0; shift < 64; shift += 8) {
        statement += static_cast<char>((signedSize >> shift) & 0xFFU);
    }
    return statement + encodePlace(place);
}

std::optional<std::string> statementOf(const Bytes& signedBytes, const PackagePlace& place) {
    Sha256 hash;
    hash.add(signedBytes.data(), signedBytes.size());
    const std::optional<Sha256Digest> digest = hash.finish();
    if (!digest) {
        return std::nullopt;
    }
    return packageStatement(*digest, signedBytes.size(), place);
}

std::string signatureComment(const PackageKey& key, const PackagePlace& place,
                             const std::array<unsigned char, kSignatureSize>& signature) {
    const std::string encoded = encodePlace(place);
    return std::string(kSignaturePrefix) + keyFingerprint(key) + " " +
           lowerHex(signature.data(), signature.size()) + " " +
           lowerHex(reinterpret_cast<const unsigned char*>(encoded.data()), encoded.size());
}

std::optional<std::size_t> endRecordOf(const unsigned char* archive, std::size_t size) {
    if (size < kEndRecordSize) {
        return std::nullopt;
    }
    const std::size_t last = size - kEndRecordSize;
    const std::size_t first = last > 0xFFFF ? last - 0xFFFF : 0;
    for (std::size_t at = last + 1; at-- > first;) {
        const std::size_t length = archive[at + kCommentLengthOffset] |
                                   static_cast<std::size_t>(archive[at + kCommentLengthOffset + 1])
                                       << 8U;
        if (std::equal(kEndRecordSignature.begin(), kEndRecordSignature.end(), archive + at) &&
            at + kEndRecordSize + length == size) {
            return at;
        }
    }
    return std::nullopt;
}

PackageSignature readSignature(const Bytes& package) {
    PackageSignature result;
    const auto* bytes = reinterpret_cast<const unsigned char*>(package.data());
    const std::optional<std::size_t> record = endRecordOf(bytes, package.size());
    if (!record) {
        return result;
    }
    const std::string_view comment(package.data() + *record + kEndRecordSize,
                                   package.size() - *record - kEndRecordSize);
    if (std::any_of(kOldSignaturePrefixes.begin(), kOldSignaturePrefixes.end(),
                    [&](std::string_view old) { return comment.starts_with(old); })) {
        result.format = PackageSignature::Format::Old;
    } else if (const std::optional<ParsedComment> parsed = parseComment(comment)) {
        result.format = PackageSignature::Format::Current;
        result.fingerprint = parsed->fingerprint;
        result.place = parsed->place;
    } else if (comment.starts_with(kSignaturePrefix)) {
        result.format = PackageSignature::Format::Damaged;
    }
    return result;
}

struct PackageVerifier::State {
    PackageKeys keys;
    PackagePlace place;
    std::optional<std::uint64_t> size;
    std::uint64_t seen = 0;
    bool possible = false;
    Sha256 hash;
    // The last bytes seen, which may hold the end record and the comment.
    std::vector<unsigned char> tail;
};

PackageVerifier::PackageVerifier(const PackageKeys& keys, PackagePlace place,
                                 std::optional<std::uint64_t> packageSize)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.keys = keys;
    s.place = std::move(place);
    s.size = packageSize;
    s.possible = sodiumReady();
    s.tail.reserve(kMaxTail);
}

PackageVerifier::~PackageVerifier() = default;

void PackageVerifier::add(const char* data, std::size_t size) {
    State& s = *state_;
    s.seen += size;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    // The comment's length is known only at the end: the last kMaxTail bytes
    // seen wait before they are hashed, and whatever falls out of them is
    // hashed as it does.
    const std::size_t held = s.tail.size() + size;
    if (held <= kMaxTail) {
        s.tail.insert(s.tail.end(), bytes, bytes + size);
        return;
    }
    const std::size_t out = held - kMaxTail;
    const std::size_t fromTail = std::min(out, s.tail.size());
    s.hash.add(s.tail.data(), fromTail);
    s.tail.erase(s.tail.begin(), s.tail.begin() + static_cast<std::ptrdiff_t>(fromTail));
    s.hash.add(bytes, out - fromTail);
    s.tail.insert(s.tail.end(), bytes + (out - fromTail), bytes + size);
}

SignatureCheck PackageVerifier::result() {
    State& s = *state_;
    std::size_t before = 0;
    const std::optional<std::string_view> comment =
        s.possible && s.seen >= kEndRecordSize && s.seen == s.size.value_or(s.seen)
            ? commentIn(s.tail, before)
            : std::nullopt;
    const std::optional<ParsedComment> parsed = comment ? parseComment(*comment) : std::nullopt;
    const PackageKey* key = parsed ? keyNamed(s.keys, parsed->fingerprint) : nullptr;
    if (key == nullptr) {
        return SignatureCheck::NotSigned;
    }
    s.hash.add(s.tail.data(), before);
    const std::optional<Sha256Digest> digest = s.hash.finish();
    if (!digest) {
        return SignatureCheck::NotSigned;
    }
    const std::string statement =
        packageStatement(*digest, s.seen - s.tail.size() + before, parsed->place);
    if (crypto_sign_verify_detached(parsed->signature.data(),
                                    reinterpret_cast<const unsigned char*>(statement.data()),
                                    statement.size(), key->bytes.data()) != 0) {
        return SignatureCheck::NotSigned;
    }
    return parsed->place == s.place ? SignatureCheck::Signed : SignatureCheck::WrongPlace;
}

SignatureCheck checkPackage(const PackageKeys& keys, const PackagePlace& place,
                            const Bytes& package) {
    PackageVerifier verifier(keys, place, package.size());
    verifier.add(package.data(), package.size());
    return verifier.result();
}

SignatureCheck checkPackageFile(const PackageKeys& keys, const PackagePlace& place,
                                ExclusiveFile& file) {
    const std::optional<std::uint64_t> size = file.size();
    if (!size) {
        return SignatureCheck::NotSigned;
    }
    PackageVerifier verifier(keys, place, *size);
    std::vector<char> buffer(std::size_t{1} << 20U);
    std::uint64_t offset = 0;
    while (offset < *size) {
        const std::int64_t got = file.readAt(offset, buffer.data(), buffer.size());
        if (got <= 0) {
            return SignatureCheck::NotSigned;
        }
        verifier.add(buffer.data(), static_cast<std::size_t>(got));
        offset += static_cast<std::uint64_t>(got);
    }
    return verifier.result();
}

} // namespace qlx

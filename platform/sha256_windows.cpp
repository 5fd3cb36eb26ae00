#include "platform/sha256.h"

// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

#include <algorithm>
#include <climits>

namespace qlx {

namespace {

bool succeeded(NTSTATUS status) {
    return status >= 0;
}

} // namespace

struct Sha256::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool good = false;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    State& s = *state_;
    // Since Windows 7 the system keeps the hash object itself when given none.
    s.good =
        succeeded(BCryptOpenAlgorithmProvider(&s.algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
        succeeded(BCryptCreateHash(s.algorithm, &s.hash, nullptr, 0, nullptr, 0, 0));
}

Sha256::~Sha256() {
    if (state_->hash != nullptr) {
        BCryptDestroyHash(state_->hash);
    }
    if (state_->algorithm != nullptr) {
        BCryptCloseAlgorithmProvider(state_->algorithm, 0);
    }
}

void Sha256::add(const void* data, std::size_t size) {
    auto* bytes = static_cast<UCHAR*>(const_cast<void*>(data));
    // BCryptHashData takes a 32-bit length.
    while (state_->good && size > 0) {
        const auto piece = static_cast<ULONG>(std::min<std::size_t>(size, ULONG_MAX));
        state_->good = succeeded(BCryptHashData(state_->hash, bytes, piece, 0));
        bytes += piece;
        size -= piece;
    }
}

std::optional<Sha256Digest> Sha256::finish() {
    Sha256Digest digest{};
    if (!state_->good ||
        !succeeded(BCryptFinishHash(state_->hash, digest.data(), digest.size(), 0))) {
        return std::nullopt;
    }
    state_->good = false;
    return digest;
}

} // namespace qlx

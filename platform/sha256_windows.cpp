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

// CNG is loaded when the first hash is made, not with the program: only a
// build with a package key hashes anything, and loading bcrypt.dll costs
// every start time even where the system has it mapped already.
struct Cng {
    decltype(&BCryptOpenAlgorithmProvider) openAlgorithmProvider = nullptr;
    decltype(&BCryptCloseAlgorithmProvider) closeAlgorithmProvider = nullptr;
    decltype(&BCryptCreateHash) createHash = nullptr;
    decltype(&BCryptHashData) hashData = nullptr;
    decltype(&BCryptFinishHash) finishHash = nullptr;
    decltype(&BCryptDestroyHash) destroyHash = nullptr;

    [[nodiscard]] bool complete() const {
        return openAlgorithmProvider != nullptr && closeAlgorithmProvider != nullptr &&
               createHash != nullptr && hashData != nullptr && finishHash != nullptr &&
               destroyHash != nullptr;
    }
};

template <typename Entry> void resolve(HMODULE library, const char* name, Entry& entry) {
    // GetProcAddress hands every entry out as one type; this is its own.
    entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

Cng loadCng() {
    Cng cng;
    HMODULE library = LoadLibraryExW(L"bcrypt.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library == nullptr) {
        return cng;
    }
    resolve(library, "BCryptOpenAlgorithmProvider", cng.openAlgorithmProvider);
    resolve(library, "BCryptCloseAlgorithmProvider", cng.closeAlgorithmProvider);
    resolve(library, "BCryptCreateHash", cng.createHash);
    resolve(library, "BCryptHashData", cng.hashData);
    resolve(library, "BCryptFinishHash", cng.finishHash);
    resolve(library, "BCryptDestroyHash", cng.destroyHash);
    return cng;
}

// Null when the system has no CNG: the hash then reports that it cannot be
// computed.
const Cng* cng() {
    static const Cng loaded = loadCng();
    return loaded.complete() ? &loaded : nullptr;
}

} // namespace

struct Sha256::State {
    const Cng* cng = nullptr;
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool good = false;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.cng = cng();
    // Since Windows 7 the system keeps the hash object itself when given none.
    s.good = s.cng != nullptr &&
             succeeded(
                 s.cng->openAlgorithmProvider(&s.algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
             succeeded(s.cng->createHash(s.algorithm, &s.hash, nullptr, 0, nullptr, 0, 0));
}

Sha256::~Sha256() {
    if (state_->hash != nullptr) {
        state_->cng->destroyHash(state_->hash);
    }
    if (state_->algorithm != nullptr) {
        state_->cng->closeAlgorithmProvider(state_->algorithm, 0);
    }
}

void Sha256::add(const void* data, std::size_t size) {
    auto* bytes = static_cast<UCHAR*>(const_cast<void*>(data));
    // BCryptHashData takes a 32-bit length.
    while (state_->good && size > 0) {
        const auto piece = static_cast<ULONG>(std::min<std::size_t>(size, ULONG_MAX));
        state_->good = succeeded(state_->cng->hashData(state_->hash, bytes, piece, 0));
        bytes += piece;
        size -= piece;
    }
}

std::optional<Sha256Digest> Sha256::finish() {
    Sha256Digest digest{};
    if (!state_->good ||
        !succeeded(state_->cng->finishHash(state_->hash, digest.data(), digest.size(), 0))) {
        return std::nullopt;
    }
    state_->good = false;
    return digest;
}

} // namespace qlx

#include "platform/sha256.h"

#include <openssl/evp.h>

namespace qlx {

struct Sha256::State {
    EVP_MD_CTX* context = nullptr;
    bool good = false;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    state_->context = EVP_MD_CTX_new();
    state_->good = state_->context != nullptr &&
                   EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr) == 1;
}

Sha256::~Sha256() {
    EVP_MD_CTX_free(state_->context);
}

void Sha256::add(const void* data, std::size_t size) {
    if (state_->good && size > 0) {
        state_->good = EVP_DigestUpdate(state_->context, data, size) == 1;
    }
}

std::optional<Sha256Digest> Sha256::finish() {
    Sha256Digest digest{};
    unsigned int length = 0;
    if (!state_->good || EVP_DigestFinal_ex(state_->context, digest.data(), &length) != 1 ||
        length != digest.size()) {
        return std::nullopt;
    }
    state_->good = false;
    return digest;
}

} // namespace qlx

#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <optional>

namespace qlx {

inline constexpr std::size_t kSha256Size = 32;
using Sha256Digest = std::array<unsigned char, kSha256Size>;

// SHA-256 of bytes given in pieces, computed by the operating system's own
// cryptography, which uses the processor's SHA instructions where it has them:
// several times faster than a portable implementation on the large packages
// an update hashes.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    // The next bytes, in order.
    void add(const void* data, std::size_t size);
    // The digest of every byte added; nullopt when the system could not
    // compute it. Call once.
    [[nodiscard]] std::optional<Sha256Digest> finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace qlx

#pragma once

#include "package/package_key.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace qlx::publish {

// The publisher's secret key. package.key holds it as one line, the prefix
// and the 64 hex digits of the Ed25519 seed; the key pair follows from it.
inline constexpr std::string_view kSecretKeyPrefix = "qlx-ed25519-secret:";
inline constexpr const char* kSecretKeyFile = "package.key";
inline constexpr const char* kPublicKeyFile = "package.pub";

class SecretKey {
public:
    static constexpr std::size_t kSize = 64;

    // The key held in the file `path`; nullopt with `error` set when it cannot
    // be read or is no secret key.
    static std::optional<SecretKey> read(const std::string& path, std::string& error);

    ~SecretKey();
    SecretKey(const SecretKey&) = default;
    SecretKey& operator=(const SecretKey&) = default;

    // libsodium's form of the secret key.
    [[nodiscard]] const std::array<unsigned char, kSize>& bytes() const { return bytes_; }
    [[nodiscard]] const PackageKey& publicKey() const { return publicKey_; }

private:
    SecretKey() = default;

    std::array<unsigned char, kSize> bytes_{};
    PackageKey publicKey_;
};

// Makes a new key pair in the folder `folder`, made when missing:
// package.key, readable by the user alone, and package.pub, the line the
// updater is built with, which `publicLine` gets. Never replaces either file:
// false with `error` set when one exists or cannot be written.
bool makeKeyPair(const std::string& folder, std::string& publicLine, std::string& error);

} // namespace qlx::publish

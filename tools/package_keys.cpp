#include "tools/package_keys.h"

#include "platform/files.h"
#include "platform/utf8_path.h"
#include "platform/whole_file.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sodium.h>
#include <system_error>

namespace qlx::publish {

namespace {

constexpr std::size_t kSeedSize = crypto_sign_SEEDBYTES;

bool sodiumReady(std::string& error) {
    if (sodium_init() < 0) {
        error = "libsodium cannot be initialised";
        return false;
    }
    return true;
}

// Erases a secret when it goes out of scope, also on early returns.
template <typename Buffer> struct Wiped {
    Buffer& buffer;
    ~Wiped() { sodium_memzero(buffer.data(), buffer.size()); }
};

} // namespace

SecretKey::~SecretKey() {
    sodium_memzero(bytes_.data(), bytes_.size());
}

std::optional<SecretKey> SecretKey::read(const std::string& path, std::string& error) {
    if (!sodiumReady(error)) {
        return std::nullopt;
    }
    // As ssh does: a secret that others could have read may be in their hands.
    if (const std::optional<unsigned> mode = permissionsOf(path); mode && (*mode & 077U) != 0) {
        char octal[8];
        std::snprintf(octal, sizeof octal, "%04o", *mode & 07777U);
        error = "permissions " + std::string(octal) + " of the secret key " + path +
                " are too open: others can read it. Run 'chmod 600 " + path + "'";
        return std::nullopt;
    }
    std::ifstream file(toPath(path), std::ios::binary);
    std::string line;
    const Wiped<std::string> wipeLine{line};
    if (!file || !std::getline(file, line)) {
        error = "cannot read the secret key " + path;
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    std::array<unsigned char, kSeedSize> seed{};
    const Wiped<std::array<unsigned char, kSeedSize>> wipeSeed{seed};
    if (!std::string_view(line).starts_with(kSecretKeyPrefix) ||
        !decodeLowerHex(std::string_view(line).substr(kSecretKeyPrefix.size()), seed)) {
        error = path + " is not a secret package key (made by 'qlx_publish keygen')";
        return std::nullopt;
    }
    SecretKey key;
    crypto_sign_seed_keypair(key.publicKey_.bytes.data(), key.bytes_.data(), seed.data());
    return key;
}

bool makeKeyPair(const std::string& folder, std::string& publicLine, std::string& error) {
    if (!sodiumReady(error)) {
        return false;
    }
    std::error_code code;
    std::filesystem::create_directories(toPath(folder), code);
    if (code) {
        error = folder + ": " + code.message();
        return false;
    }
    std::array<unsigned char, kSeedSize> seed{};
    const Wiped<std::array<unsigned char, kSeedSize>> wipeSeed{seed};
    randombytes_buf(seed.data(), seed.size());
    PackageKey publicKey;
    std::array<unsigned char, SecretKey::kSize> secret{};
    const Wiped<std::array<unsigned char, SecretKey::kSize>> wipeSecret{secret};
    crypto_sign_seed_keypair(publicKey.bytes.data(), secret.data(), seed.data());

    std::array<char, 2 * kSeedSize + 1> hex{};
    const Wiped<std::array<char, 2 * kSeedSize + 1>> wipeHex{hex};
    sodium_bin2hex(hex.data(), hex.size(), seed.data(), seed.size());
    std::string secretLine = std::string(kSecretKeyPrefix) + hex.data() + "\n";
    const Wiped<std::string> wipeLine{secretLine};

    const std::string keyPath = toUtf8(toPath(folder) / kSecretKeyFile);
    const std::string pubPath = toUtf8(toPath(folder) / kPublicKeyFile);
    // Neither file is replaced: a key pair whose public half is already
    // built into updaters must not be lost to a second keygen.
    if (std::filesystem::exists(toPath(pubPath), code)) {
        error = pubPath + ": File exists";
        return false;
    }
    if (!createNewFile(keyPath, secretLine, true, error)) {
        return false;
    }
    publicLine = packageKeyLine(publicKey);
    if (!createNewFile(pubPath, publicLine + "\n", false, error)) {
        std::filesystem::remove(toPath(keyPath), code);
        return false;
    }
    return true;
}

} // namespace qlx::publish

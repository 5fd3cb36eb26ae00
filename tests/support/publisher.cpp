#include "support/publisher.h"

#include "package/package_signature.h"
#include "support/test_files.h"
#include "tools/package_keys.h"
#include "tools/package_signer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sodium.h>
#include <sstream>

namespace qlx::test {

namespace {

std::string publisherCommand(const std::vector<std::string>& args,
                             const std::vector<std::string>& environment) {
    std::string command = "env -u QLX_PUBLISH_PASSWORD";
    for (const std::string& variable : environment) {
        command += " " + shellQuoted(variable);
    }
    command += " " + shellQuoted(QLX_PUBLISH_PATH);
    for (const std::string& arg : args) {
        command += " " + shellQuoted(arg);
    }
    return command;
}

// Runs `command` in the shell, which records the exit status.
PublisherRun runInShell(const std::string& command, const TempDir& dir) {
    const std::string recorded = command + " >" + shellQuoted(dir.filePath("out")) + " 2>" +
                                 shellQuoted(dir.filePath("err")) + "; echo $? >" +
                                 shellQuoted(dir.filePath("status"));
    PublisherRun run;
    if (std::system(recorded.c_str()) != 0) {
        return run;
    }
    std::istringstream(readFile(dir.filePath("status"))) >> run.status;
    run.out = readFile(dir.filePath("out"));
    run.err = readFile(dir.filePath("err"));
    return run;
}

} // namespace

PublisherRun runPublisher(const std::vector<std::string>& args,
                          const std::vector<std::string>& environment) {
    TempDir dir;
    return runInShell(publisherCommand(args, environment) + " </dev/null", dir);
}

PublisherRun runPublisherTyping(const std::vector<std::string>& args, const std::string& typed) {
    TempDir dir;
    // script(1) gives the publisher a pseudo-terminal; the password is typed
    // once the prompt is on it, as a person would (a minute at most).
    const std::string out = shellQuoted(dir.filePath("out"));
    const std::string typist = "{ for i in $(seq 600); do grep -q 'password of' " + out +
                               " && break; sleep 0.1; done; printf '%s\\n' " + shellQuoted(typed) +
                               "; }";
    return runInShell(
        typist + " | script -qec " + shellQuoted(publisherCommand(args, {})) + " /dev/null", dir);
}

std::string testSecretKeyPath() {
    return QLX_TEST_KEY_FOLDER "/package.key";
}

std::string testNextSecretKeyPath() {
    return QLX_TEST_KEY_FOLDER "/next.key";
}

std::string testPublicKeyPath() {
    return QLX_TEST_KEY_FOLDER "/package.pub";
}

PackageKey testPackageKey() {
    constexpr std::optional<PackageKey> key = parsePackageKey(QLX_TEST_PACKAGE_KEY);
    static_assert(key.has_value());
    return *key;
}

Bytes signedWith(const Bytes& archive, const PackagePlace& place, const std::string& keyFile) {
    std::string error;
    const std::optional<publish::SecretKey> key = publish::SecretKey::read(keyFile, error);
    Bytes signedArchive = archive;
    const publish::Signing signing =
        key ? publish::signPackage(signedArchive, *key, place) : publish::Signing{};
    if (!signing.signedIt) {
        ADD_FAILURE() << "the publisher refused to sign: " << error << signing.error;
        return {};
    }
    return signedArchive;
}

Bytes signedInThePreviousFormat(const Bytes& archive, const PackagePlace& place) {
    std::string error;
    const publish::SecretKey key = publish::SecretKey::read(testSecretKeyPath(), error).value();
    // The current signature sets the comment's length, which the previous one shares.
    Bytes old = signedWith(archive, place);
    old.resize(old.size() -
               std::min(old.size(), signatureComment(key.publicKey(), place, {}).size()));
    std::string statement(old.begin(), old.end());
    statement += "qlx-package-statement-2" + encodePlace(place);
    for (unsigned shift = 0; shift < 64; shift += 8) {
        statement += static_cast<char>((old.size() >> shift) & 0xFFU);
    }
    crypto_sign_state state;
    std::array<unsigned char, kSignatureSize> signature{};
    crypto_sign_init(&state);
    crypto_sign_update(&state, reinterpret_cast<const unsigned char*>(statement.data()),
                       statement.size());
    crypto_sign_final_create(&state, signature.data(), nullptr, key.bytes().data());
    const std::string comment = signatureComment(key.publicKey(), place, signature);
    old.insert(old.end(), {'Q', 'L', 'X', 'S', 'I', 'G', '2', ' '});
    old.insert(old.end(), comment.begin() + kSignaturePrefix.size(), comment.end());
    return old;
}

Bytes withChangedByte(Bytes archive, std::size_t offset) {
    archive.at(offset) = static_cast<char>(archive.at(offset) ^ 0x20);
    return archive;
}

} // namespace qlx::test

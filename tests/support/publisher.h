#pragma once

// The publisher as its users run it, and the tests' own signing key pair
// (tests/fixtures/signing), which signs test packages and nothing else.

#include "base/bytes.h"
#include "package/package_key.h"
#include "package/package_place.h"

#include <string>
#include <vector>

namespace qlx::test {

struct PublisherRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs qlx_publish with `args` as a process of its own, in an environment
// without QLX_PUBLISH_PASSWORD but for what `environment` ("NAME=VALUE") sets.
PublisherRun runPublisher(const std::vector<std::string>& args,
                          const std::vector<std::string>& environment = {});
// The same on a terminal of its own, into which a person types `typed` and
// Enter; what the publisher writes to the terminal is in `out`.
PublisherRun runPublisherTyping(const std::vector<std::string>& args, const std::string& typed);

// The tests' secret key file, its package.pub, and the public key that the
// test builds of the updaters carry.
[[nodiscard]] std::string testSecretKeyPath();
[[nodiscard]] std::string testPublicKeyPath();
[[nodiscard]] PackageKey testPackageKey();
// The key pair the publisher moves to: the rotating test build of the updater
// carries both public keys.
[[nodiscard]] std::string testNextSecretKeyPath();

// `archive` as the publisher signs it for `place`; empty, with a test failure
// recorded, when it refuses.
Bytes signedWith(const Bytes& archive, const PackagePlace& place,
                 const std::string& keyFile = testSecretKeyPath());

// `archive` signed by the tests' key for `place` in the previous format, Ed25519ph.
Bytes signedInThePreviousFormat(const Bytes& archive, const PackagePlace& place);

// `archive` with the byte at `offset` changed.
Bytes withChangedByte(Bytes archive, std::size_t offset);

} // namespace qlx::test

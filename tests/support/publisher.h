#pragma once

// The publisher as its users run it, and the tests' own signing key pair
// (tests/fixtures/signing), which signs test packages and nothing else.

#include "base/bytes.h"
#include "package/package_key.h"

#include <string>
#include <vector>

namespace qlx::test {

struct PublisherRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs qlx_publish with `args` as a process of its own.
PublisherRun runPublisher(const std::vector<std::string>& args);

// The tests' secret key file and the public key that the test builds of the
// updaters carry.
[[nodiscard]] std::string testSecretKeyPath();
[[nodiscard]] PackageKey testPackageKey();

// `archive` as `qlx_publish --key keyFile sign` writes it; empty, with a test
// failure recorded, when the publisher refuses.
Bytes signedWith(const Bytes& archive, const std::string& keyFile = testSecretKeyPath());

// `archive` with the byte at `offset` changed.
Bytes withChangedByte(Bytes archive, std::size_t offset);

} // namespace qlx::test

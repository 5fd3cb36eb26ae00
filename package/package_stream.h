#pragma once

#include "package/package_key.h"
#include "package/package_place.h"
#include "package/package_signature.h"
#include "platform/exclusive_file.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qlx {

// A package written to its file piece by piece as the database hands it
// over, and hashed on the way for its signature check, so that no whole
// package is ever held in memory. The file stays open and locked from its
// first byte until the caller lets it go: the bytes checked are the bytes
// unpacked.
class PackageStream {
public:
    // Without keys nothing is checked.
    PackageStream(const PackageKeys& keys, PackagePlace place);

    // Starts the package's file at `path`, emptied; false when it cannot be
    // opened or another program holds it.
    bool open(const std::string& path);
    // The package's next bytes; false when the file does not take them all,
    // or the package outgrows what the window's 16-bit counters can count in
    // chunks of the window's writer.
    bool add(const char* data, std::size_t size);
    // Once every piece is in: what the signature check found (NotSigned
    // without keys). Call once.
    [[nodiscard]] SignatureCheck finish();

    // The file, still open and locked.
    [[nodiscard]] std::unique_ptr<ExclusiveFile> takeFile() { return std::move(file_); }
    [[nodiscard]] std::uint64_t size() const { return size_; }

private:
    std::unique_ptr<PackageVerifier> verifier_;
    std::unique_ptr<ExclusiveFile> file_;
    std::uint64_t size_ = 0;
};

} // namespace qlx

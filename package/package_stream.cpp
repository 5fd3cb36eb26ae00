#include "package/package_stream.h"

#include <utility>

namespace qlx {

namespace {

// The largest package the window's writer can count: 32767 chunks of 32765
// bytes.
constexpr std::uint64_t kMaxPackageSize = std::uint64_t{32767} * 32765;

} // namespace

PackageStream::PackageStream(const PackageKeys& keys, PackagePlace place)
    : verifier_(!keys.empty() ? std::make_unique<PackageVerifier>(keys, std::move(place))
                              : nullptr),
      file_(std::make_unique<ExclusiveFile>()) {}

bool PackageStream::open(const std::string& path) {
    return file_->open(path);
}

bool PackageStream::add(const char* data, std::size_t size) {
    size_ += size;
    if (size_ > kMaxPackageSize || !file_->write(data, size)) {
        return false;
    }
    if (verifier_) {
        verifier_->add(data, size);
    }
    return true;
}

SignatureCheck PackageStream::finish() {
    return verifier_ ? verifier_->result() : SignatureCheck::NotSigned;
}

} // namespace qlx

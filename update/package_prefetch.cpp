#include "update/package_prefetch.h"

#include "update/package_signature.h"

#include <utility>

namespace qlx {

PackagePrefetch::PackagePrefetch(Transaction& transaction, std::string fileTable,
                                 const std::vector<FileListRow>& rows,
                                 std::optional<PackageKey> key)
    : transaction_(transaction), fileTable_(std::move(fileTable)), rows_(rows), key_(key) {}

PackagePrefetch::~PackagePrefetch() {
    if (pending_.valid()) {
        pending_.wait();
    }
}

FetchedPackage PackagePrefetch::fetch(std::size_t index) {
    FetchedPackage package{Bytes()};
    selectPackageOfRow(transaction_, fileTable_, rows_.at(index), package.bytes);
    if (key_ && package.bytes) {
        package.signedByPublisher = isSignedPackage(*key_, *package.bytes);
    }
    return package;
}

FetchedPackage PackagePrefetch::take(std::size_t index) {
    FetchedPackage package;
    if (pendingIndex_ == index && pending_.valid()) {
        package = pending_.get();
    } else {
        if (pending_.valid()) {
            pending_.wait();
        }
        package = fetch(index);
    }
    pendingIndex_.reset();
    const std::size_t next = index + 1;
    const bool small = !package.bytes || package.bytes->size() < kPrefetchBelow;
    if (small && next < rows_.size()) {
        pendingIndex_ = next;
        pending_ = std::async(std::launch::async, [this, next] { return fetch(next); });
    }
    return package;
}

} // namespace qlx

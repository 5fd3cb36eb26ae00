#include "update/package_prefetch.h"

#include "update/package_signature.h"

#include <chrono>
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

PackagePrefetch::Fetched PackagePrefetch::fetch(std::size_t index) {
    Fetched fetched{{Bytes()}};
    selectPackageOfRow(transaction_, fileTable_, rows_.at(index), fetched.package.bytes);
    if (!callerWaits_.load()) {
        check(fetched);
    }
    return fetched;
}

void PackagePrefetch::check(Fetched& fetched) const {
    if (key_ && fetched.package.bytes && !fetched.checked) {
        fetched.package.signedByPublisher = isSignedPackage(*key_, *fetched.package.bytes);
    }
    fetched.checked = true;
}

FetchedPackage PackagePrefetch::take(std::size_t index) {
    Fetched fetched;
    if (pendingIndex_ == index && pending_.valid()) {
        using namespace std::chrono_literals;
        callerWaits_ = pending_.wait_for(0s) != std::future_status::ready;
        fetched = pending_.get();
    } else {
        if (pending_.valid()) {
            pending_.wait();
        }
        callerWaits_ = true;
        fetched = fetch(index);
    }
    callerWaits_ = false;
    pendingIndex_.reset();
    const std::size_t next = index + 1;
    const bool small = !fetched.package.bytes || fetched.package.bytes->size() < kPrefetchBelow;
    if (small && next < rows_.size()) {
        pendingIndex_ = next;
        pending_ = std::async(std::launch::async, [this, next] { return fetch(next); });
    }
    // While the next package is read.
    check(fetched);
    return std::move(fetched.package);
}

} // namespace qlx

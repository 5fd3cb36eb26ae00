#include "update/package_prefetch.h"

#include <utility>

namespace qlx {

PackagePrefetch::PackagePrefetch(Transaction& transaction, std::string fileTable,
                                 const std::vector<FileListRow>& rows)
    : transaction_(transaction), fileTable_(std::move(fileTable)), rows_(rows) {}

PackagePrefetch::~PackagePrefetch() {
    if (pending_.valid()) {
        pending_.wait();
    }
}

std::optional<Bytes> PackagePrefetch::fetch(std::size_t index) {
    std::optional<Bytes> package = Bytes();
    selectPackageOfRow(transaction_, fileTable_, rows_.at(index), package);
    return package;
}

std::optional<Bytes> PackagePrefetch::take(std::size_t index) {
    std::optional<Bytes> package;
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
    const bool small = !package || package->size() < kPrefetchBelow;
    if (small && next < rows_.size()) {
        pendingIndex_ = next;
        pending_ = std::async(std::launch::async, [this, next] { return fetch(next); });
    }
    return package;
}

} // namespace qlx

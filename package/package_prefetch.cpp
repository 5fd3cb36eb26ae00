#include "package/package_prefetch.h"

#include "package/package_signature.h"

#include <utility>

namespace qlx {

PackagePrefetch::PackagePrefetch(std::size_t count, Reader reader, PackageKeys keys,
                                 PlaceOf placeOf)
    : count_(count), reader_(std::move(reader)), keys_(std::move(keys)),
      placeOf_(std::move(placeOf)), thread_([this] { read(); }) {}

PackagePrefetch::~PackagePrefetch() {
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void PackagePrefetch::read() {
    try {
        for (std::size_t index = 0; index < count_; ++index) {
            {
                std::unique_lock lock(mutex_);
                // As many as fit below kReadAhead beside the package the
                // caller holds, and whatever the caller waits for.
                changed_.wait(lock, [&] {
                    return stop_ || wanted_ == index ||
                           (takenBytes_ + readyBytes_ < kReadAhead &&
                            ready_.size() < kReadAheadCount);
                });
                if (stop_) {
                    return;
                }
            }
            Fetched fetched{index, {reader_(index)}};
            bool callerWaits = false;
            {
                const std::lock_guard lock(mutex_);
                callerWaits = wanted_ == index;
            }
            if (!callerWaits) {
                check(fetched);
            }
            const std::size_t size = fetched.package.bytes ? fetched.package.bytes->size() : 0;
            {
                const std::lock_guard lock(mutex_);
                ready_.push_back(std::move(fetched));
                readyBytes_ += size;
            }
            changed_.notify_all();
        }
    } catch (...) {
        {
            const std::lock_guard lock(mutex_);
            failure_ = std::current_exception();
        }
        changed_.notify_all();
    }
}

void PackagePrefetch::check(Fetched& fetched) const {
    if (!keys_.empty() && fetched.package.bytes && !fetched.checked &&
        fetched.package.signature != SignatureCheck::Signed) {
        fetched.package.signature =
            checkPackage(keys_, placeOf_(fetched.index), *fetched.package.bytes);
    }
    fetched.checked = true;
}

void PackagePrefetch::released() {
    {
        const std::lock_guard lock(mutex_);
        takenBytes_ = 0;
    }
    changed_.notify_all();
}

FetchedPackage PackagePrefetch::take(std::size_t index) {
    Fetched fetched;
    {
        std::unique_lock lock(mutex_);
        takenBytes_ = 0;
        wanted_ = index;
        changed_.notify_all();
        changed_.wait(lock, [&] { return !ready_.empty() || failure_; });
        if (ready_.empty()) {
            std::rethrow_exception(failure_);
        }
        fetched = std::move(ready_.front());
        ready_.pop_front();
        const std::size_t size = fetched.package.bytes ? fetched.package.bytes->size() : 0;
        readyBytes_ -= size;
        takenBytes_ = size;
        wanted_.reset();
    }
    changed_.notify_all();
    // While the reader reads on.
    check(fetched);
    return std::move(fetched.package);
}

} // namespace qlx

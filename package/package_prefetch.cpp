#include "package/package_prefetch.h"

#include <chrono>
#include <utility>

namespace qlx {

namespace {

// How often a caller who waits for a package lets the window repaint.
constexpr std::chrono::milliseconds kIdleEvery{20};

} // namespace

PackagePrefetch::PackagePrefetch(std::size_t count, Reader reader)
    : count_(count), reader_(std::move(reader)), thread_([this] { read(); }) {}

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
                changed_.wait(lock, [&] {
                    return stop_ || wanted_ == index ||
                           (readyBytes_ < kReadAhead && ready_.size() < kReadAheadCount);
                });
                if (stop_) {
                    return;
                }
            }
            Fetched fetched{index, reader_(index)};
            {
                const std::lock_guard lock(mutex_);
                readyBytes_ += fetched.package.size;
                ready_.push_back(std::move(fetched));
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

FetchedPackage PackagePrefetch::take(std::size_t index, const std::function<void()>& idle) {
    Fetched fetched;
    {
        std::unique_lock lock(mutex_);
        wanted_ = index;
        changed_.notify_all();
        while (!changed_.wait_for(lock, kIdleEvery, [&] { return !ready_.empty() || failure_; })) {
            lock.unlock();
            idle();
            lock.lock();
        }
        if (ready_.empty()) {
            std::rethrow_exception(failure_);
        }
        fetched = std::move(ready_.front());
        ready_.pop_front();
        readyBytes_ -= fetched.package.size;
        wanted_.reset();
    }
    changed_.notify_all();
    return std::move(fetched.package);
}

} // namespace qlx

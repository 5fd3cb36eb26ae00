#include "libs/ezip/block_writer.h"

#include "libs/ezip/entry_crc.h"

namespace ezip {

namespace {

// Buffers beside the caller's: 1.75 MiB of 256 KiB ones.
constexpr std::size_t ringSize = 7;

} // namespace

BlockWriter::BlockWriter(const qlx::FileHandle& file, unsigned char* first, std::size_t capacity,
                         bool pipelined)
    : file_(file), current_(first) {
    if (!pipelined) {
        return;
    }
    try {
        start(capacity);
    } catch (...) {
        ring_.clear(); // write at once instead
        free_.clear();
    }
}

BlockWriter::~BlockWriter() {
    finish();
}

void BlockWriter::start(std::size_t capacity) {
    for (std::size_t i = 0; i < ringSize; ++i) {
        ring_.push_back(std::make_unique_for_overwrite<unsigned char[]>(capacity));
        free_.push_back(ring_.back().get());
    }
    thread_ = std::thread([this] { run(); });
}

void BlockWriter::run() {
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] { return !queued_.empty() || stop_; });
        if (queued_.empty()) {
            return;
        }
        const auto [data, length] = queued_.front();
        queued_.pop_front();
        lock.unlock();
        const bool written = write(data, length);
        lock.lock();
        failed_ = failed_ || !written;
        free_.push_back(data);
        changed_.notify_all();
    }
}

bool BlockWriter::write(const unsigned char* data, std::size_t length) {
    crc_ = crcOf(crc_, data, length);
    return qlx::writeAll(file_, data, length);
}

bool BlockWriter::put(std::size_t length) {
    if (!thread_.joinable()) {
        failed_ = failed_ || !write(current_, length);
        return !failed_;
    }
    std::unique_lock lock(mutex_);
    if (failed_) {
        return false;
    }
    queued_.emplace_back(current_, length);
    changed_.notify_all();
    changed_.wait(lock, [this] { return !free_.empty(); });
    current_ = free_.back();
    free_.pop_back();
    return !failed_;
}

bool BlockWriter::finish() {
    if (thread_.joinable()) {
        {
            // Every buffer but the caller's back in the ring: nothing is queued or being written.
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return free_.size() == ring_.size(); });
            stop_ = true;
            changed_.notify_all();
        }
        thread_.join();
    }
    return !failed_;
}

} // namespace ezip

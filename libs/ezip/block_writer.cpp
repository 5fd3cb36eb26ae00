#include "libs/ezip/block_writer.h"

#include "libs/ezip/entry_crc.h"

namespace ezip {

BlockWriter::BlockWriter(const qlx::FileHandle& file, unsigned char* first, unsigned char* second)
    : file_(file), buffers_{first, second} {
    if (second == nullptr) {
        return;
    }
    try {
        thread_ = std::thread([this] { run(); });
    } catch (...) {
        buffers_[1] = nullptr; // write at once instead
    }
}

BlockWriter::~BlockWriter() {
    finish();
}

void BlockWriter::run() {
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] { return queued_ != nullptr || stop_; });
        if (queued_ == nullptr) {
            return;
        }
        const unsigned char* data = queued_;
        const std::size_t length = queuedLength_;
        queued_ = nullptr;
        lock.unlock();
        const bool written = write(data, length);
        lock.lock();
        failed_ = failed_ || !written;
        busy_ = false;
        changed_.notify_all();
    }
}

bool BlockWriter::write(const unsigned char* data, std::size_t length) {
    crc_ = crcOf(crc_, data, length);
    return qlx::writeAll(file_, data, length);
}

bool BlockWriter::put(std::size_t length) {
    if (!thread_.joinable()) {
        failed_ = failed_ || !write(buffers_[0], length);
        return !failed_;
    }
    std::unique_lock lock(mutex_);
    // The other buffer is the one being written; wait until it is free.
    changed_.wait(lock, [this] { return !busy_; });
    if (failed_) {
        return false;
    }
    queued_ = buffers_[current_];
    queuedLength_ = length;
    busy_ = true;
    changed_.notify_all();
    current_ ^= 1;
    return true;
}

bool BlockWriter::finish() {
    if (thread_.joinable()) {
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return !busy_; });
            stop_ = true;
            changed_.notify_all();
        }
        thread_.join();
    }
    return !failed_;
}

} // namespace ezip

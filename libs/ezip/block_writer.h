#pragma once

#include "platform/file_handle.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

namespace ezip {

// Writes filled buffers to a file. With a second buffer it writes on its own
// thread while the caller fills the other buffer, so that inflating a large
// entry and copying it into the page cache use two cores; without one (or
// when no thread can be started) it writes at once.
class BlockWriter {
public:
    BlockWriter(const qlx::FileHandle& file, unsigned char* first, unsigned char* second);
    ~BlockWriter();
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;

    // The buffer to fill next.
    [[nodiscard]] unsigned char* buffer() const { return buffers_[current_]; }
    // Writes the first `length` bytes of buffer(); false once a write failed.
    bool put(std::size_t length);
    // Waits for every write; false when one failed.
    bool finish();
    // The CRC-32 of every byte put, once finish() returned: computed where
    // the bytes are written, so that a large entry's decoding does not wait
    // for it.
    [[nodiscard]] std::uint32_t crc() const { return crc_; }

private:
    void run();
    bool write(const unsigned char* data, std::size_t length);

    const qlx::FileHandle& file_;
    unsigned char* buffers_[2];
    int current_ = 0;
    bool failed_ = false;
    std::uint32_t crc_ = 0; // only the writing thread's once it runs
    // Shared with the writing thread, under mutex_.
    std::mutex mutex_;
    std::condition_variable changed_;
    unsigned char* queued_ = nullptr;
    std::size_t queuedLength_ = 0;
    bool busy_ = false;
    bool stop_ = false;
    std::thread thread_;
};

} // namespace ezip

#pragma once

#include "platform/file_handle.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace ezip {

// Writes filled buffers to a file. Pipelined, it writes on its own thread
// from a ring of buffers while the caller fills the next one, so that
// decoding a large entry and copying it into the page cache use two cores;
// the ring is deep enough to carry the writes of a stretch that decodes fast
// (stored blocks) into one that decodes slowly. Without a pipeline, or when
// no thread or ring can be had, it writes at once.
class BlockWriter {
public:
    // `first` holds `capacity` bytes, as does each buffer of the ring.
    BlockWriter(const qlx::FileHandle& file, unsigned char* first, std::size_t capacity,
                bool pipelined);
    ~BlockWriter();
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;

    // The buffer to fill next.
    [[nodiscard]] unsigned char* buffer() const { return current_; }
    // Writes the first `length` bytes of buffer(); false once a write failed.
    bool put(std::size_t length);
    // Waits for every write; false when one failed.
    bool finish();
    // The CRC-32 of every byte put, once finish() returned: computed where
    // the bytes are written, so that a large entry's decoding does not wait
    // for it.
    [[nodiscard]] std::uint32_t crc() const { return crc_; }

private:
    void start(std::size_t capacity);
    void run();
    bool write(const unsigned char* data, std::size_t length);

    const qlx::FileHandle& file_;
    unsigned char* current_;
    bool failed_ = false;
    std::uint32_t crc_ = 0; // only the writing thread's once it runs
    std::vector<std::unique_ptr<unsigned char[]>> ring_;
    // Shared with the writing thread, under mutex_.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<unsigned char*, std::size_t>> queued_;
    std::vector<unsigned char*> free_;
    bool stop_ = false;
    std::thread thread_;
};

} // namespace ezip

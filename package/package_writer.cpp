#include "package/package_writer.h"

#include "platform/exclusive_file.h"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace qlx {

namespace {

constexpr std::size_t kChunk = 32765;
constexpr std::size_t kChunksPerWindow = 100;
constexpr std::size_t kWindow = kChunk * kChunksPerWindow; // 3,276,500 bytes

// Chunks reach the file in runs of up to a window's size: a write call per
// 32765 bytes costs twice the throughput of large writes. The chunks of a run
// lie back to back in the package, so a run is written straight from the
// package's bytes; copying them into a buffer first would touch every byte
// twice and, with a freshly grown buffer per window, fault in its pages again.
class ChunkRun {
public:
    explicit ChunkRun(ExclusiveFile& file) : file_(file) {}

    bool append(const char* data, std::size_t size) {
        if (size == 0) {
            return true;
        }
        const bool adjacent = begin_ != nullptr && begin_ + size_ == data;
        if ((!adjacent || size_ + size > kWindow) && !flush()) {
            return false;
        }
        if (begin_ == nullptr) {
            begin_ = data;
        }
        size_ += size;
        return true;
    }

    bool flush() {
        const bool ok = size_ == 0 || file_.write(begin_, size_);
        begin_ = nullptr;
        size_ = 0;
        return ok;
    }

private:
    ExclusiveFile& file_;
    const char* begin_ = nullptr;
    std::size_t size_ = 0;
};

} // namespace

PackageWriter::PackageWriter(std::function<void()> beforeChunk)
    : beforeChunk_(std::move(beforeChunk)) {}

int PackageWriter::write(const std::string& filename, Bytes data) {
    ExclusiveFile file;
    if (write(filename, std::move(data), file) != 1) {
        return -1;
    }
    return file.close() ? 1 : -1;
}

// NOLINTNEXTLINE(performance-unnecessary-value-param): a sink, see the declaration.
int PackageWriter::write(const std::string& filename, Bytes data, ExclusiveFile& file) {
    // Whatever fails below leaves the file closed.
    struct CloseUnlessKept {
        ExclusiveFile& file;
        bool keep = false;
        ~CloseUnlessKept() {
            if (!keep) {
                file.close();
            }
        }
    } guard{file};
    if (!file.open(filename)) {
        return -1;
    }
    const std::size_t length = data.size();
    const std::size_t chunks = length > kChunk ? (length + kChunk - 1) / kChunk : 1;
    // The window's counters are 16-bit: larger packages are out of range.
    if (chunks > 32767) {
        return -1;
    }

    ChunkRun out(file);
    // Each window of 100 chunks is cut off the front of our own copy of the
    // package; the cut is an offset, so no byte is copied more than once.
    std::size_t windowStart = 0;
    const char* window = data.data();
    std::size_t windowSize = 0;
    std::size_t position = 0;
    for (std::size_t chunk = 1; chunk <= chunks; ++chunk) {
        beforeChunk_();
        if ((chunk - 1) % kChunksPerWindow == 0) {
            windowSize = std::min(kWindow, length - windowStart);
            window = data.data() + windowStart;
            windowStart += windowSize;
            position = 0;
        }
        const std::size_t piece = std::min(kChunk, windowSize - position);
        if (!out.append(window + position, piece)) {
            return -1;
        }
        position += piece;
    }
    if (!out.flush()) {
        return -1;
    }
    guard.keep = true;
    return 1;
}

} // namespace qlx

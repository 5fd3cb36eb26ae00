#pragma once

#include "libs/ezip/central_directory.h"
#include "platform/file_handle.h"

#include <cstdint>
#include <memory>
#include <zip.h>

namespace ezip {

// A libzip source over an open archive file that reads ahead in large blocks
// at offsets. libzip's own file source goes through stdio, which costs a read
// of a few KiB and a seek per small request; this one keeps the syscalls to
// one per block, and a seek within the block costs nothing. libzip sees the
// archive as `view` says, which must outlive the source.
class ReadSource {
public:
    ReadSource(qlx::FileHandle file, const LibzipView& view);
    ~ReadSource();
    ReadSource(const ReadSource&) = delete;
    ReadSource& operator=(const ReadSource&) = delete;

    // The archive read through this source, or null; `this` must outlive it.
    zip_t* open();

    // The next reads fall within [start, end) of the file: blocks are cut there, so that
    // entries read out of file order cost no more than their own bytes.
    void expect(std::uint64_t start, std::uint64_t end) {
        expectedStart_ = start;
        expectedEnd_ = end;
    }

private:
    static zip_int64_t callback(void* self, void* data, zip_uint64_t length,
                                zip_source_cmd_t command);
    zip_int64_t read(void* data, zip_uint64_t length);
    void zeroStrayBytes();

    qlx::FileHandle file_;
    const LibzipView* view_;
    std::uint64_t fileSize_ = 0;
    std::uint64_t size_ = 0;     // what libzip sees: without the shift, with the padding
    std::uint64_t position_ = 0; // libzip's
    std::unique_ptr<unsigned char[]> block_;
    std::uint64_t blockStart_ = 0; // in the file
    std::size_t blockLength_ = 0;
    zip_error_t error_{};
    std::uint64_t expectedStart_ = 0;
    std::uint64_t expectedEnd_ = 0;
};

} // namespace ezip

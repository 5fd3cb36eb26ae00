#pragma once

#include "libs/ezip/archive_plan.h"
#include "libs/ezip/block_writer.h"
#include "platform/file_handle.h"

#include <array>
#include <cstdint>
#include <vector>

struct libdeflate_decompressor;

namespace ezip {

// The buffer a thread writes staged files from; `pipelined` lets a large
// entry be written on a thread of its own (BlockWriter).
struct WriteBuffers {
    unsigned char* first = nullptr;
    std::size_t capacity = 0;
    bool pipelined = false;
};

// Whether DirectCopier reads entries of this method: stored and deflated
// ones, which are nearly every entry there is.
[[nodiscard]] bool readDirectly(std::uint16_t method);

// The time a planned file was last changed, read as the local time the
// archive's MS-DOS fields give, in seconds since 1970.
[[nodiscard]] std::int64_t modifiedTimeOf(const PlannedFile& file);

// modifiedTimeOf for one thread's files, most of which share a few times:
// the C library looks at the time zone's file again on every conversion,
// which in an archive of tiny files costs as much as writing one.
class ModifiedTimes {
public:
    [[nodiscard]] std::int64_t of(const PlannedFile& file);

private:
    struct Slot {
        std::uint32_t dosTime = 0;
        bool known = false;
        std::int64_t seconds = 0;
    };
    std::array<Slot, 64> slots_{};
};

// Copies stored and deflated entries out of the archive without libzip,
// whose reads cost a copy of every byte and a few calls per entry. An entry
// small enough to hold is read with one call and decoded in one go; a
// larger one streams through zlib in blocks. Either way no entry is decoded
// past its declared size and its CRC is checked against the central
// directory's. One copier serves one thread; it keeps its buffers from
// entry to entry, at most about 2 MiB.
class DirectCopier {
public:
    DirectCopier();
    ~DirectCopier();
    DirectCopier(const DirectCopier&) = delete;
    DirectCopier& operator=(const DirectCopier&) = delete;

    // Writes the entry `file` of `archive` into `staged`. Returns EZIP_OK
    // or an EzipCode.
    int copy(const qlx::FileHandle& archive, const PlannedFile& file, const qlx::FileHandle& staged,
             const WriteBuffers& buffers);

private:
    int copyWhole(const qlx::FileHandle& archive, const PlannedFile& file,
                  const qlx::FileHandle& staged);
    int decodeWhole(const PlannedFile& file, const unsigned char* data,
                    const qlx::FileHandle& staged);
    int copyStreamed(const qlx::FileHandle& archive, const PlannedFile& file,
                     const qlx::FileHandle& staged, const WriteBuffers& buffers);
    int inflateStreamed(const qlx::FileHandle& archive, const PlannedFile& file,
                        std::uint64_t start, BlockWriter& writer, std::size_t capacity);

    std::vector<unsigned char> input_;
    std::vector<unsigned char> output_;
    libdeflate_decompressor* decompressor_ = nullptr;
};

} // namespace ezip

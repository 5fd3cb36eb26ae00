#include "libs/ezip/direct_copy.h"

#include "libs/ezip/archive_bytes.h"
#include "libs/ezip/entry_crc.h"
#include "libs/ezip/ezip_codes.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <zlib.h>
#ifdef EZIP_WITH_LIBDEFLATE
#include <libdeflate.h>
#endif

namespace ezip {

namespace {

constexpr std::uint16_t storedMethod = 0;
constexpr std::uint16_t deflateMethod = 8;
constexpr std::size_t localHeaderSize = 30;
constexpr std::uint32_t localSignature = 0x04034b50;
// Entries up to this size are read and decoded whole. Two such buffers per
// thread are what the copier holds at most: the updater's memory limit
// leaves a few MiB for unpacking beside the package being fetched.
constexpr std::uint64_t wholeSize = std::uint64_t{1} << 20U;
// Room for the local header, its name and extra field, and a descriptor.
constexpr std::uint64_t headerRoom = std::uint64_t{3} * 65536;
constexpr std::size_t streamBlock = std::size_t{256} << 10U;

// Where the entry's data starts, from its local header, which may have
// changed since the plan was made: the data must still end inside the bytes
// the plan gave the entry.
int dataStartOf(const unsigned char* header, const PlannedFile& file, std::uint64_t& start) {
    if (le(header, 4) != localSignature || le(header + 8, 2) != file.method) {
        return EZIP_E_STRUCTURE;
    }
    start = file.localOffset + localHeaderSize + le(header + 26, 2) + le(header + 28, 2);
    return start <= file.dataEnd && file.compressedSize <= file.dataEnd - start ? EZIP_OK
                                                                                : EZIP_E_STRUCTURE;
}

// The entry's stored bytes, written through `writer` block by block.
int copyStored(const qlx::FileHandle& archive, const PlannedFile& file, std::uint64_t start,
               BlockWriter& writer, std::size_t capacity) {
    if (file.compressedSize != file.size) {
        return EZIP_E_SIZE;
    }
    for (std::uint64_t done = 0; done < file.size;) {
        const auto take =
            static_cast<std::size_t>(std::min<std::uint64_t>(capacity, file.size - done));
        if (!readFully(archive, start + done, writer.buffer(), take)) {
            return EZIP_E_DATA;
        }
        if (!writer.put(take)) {
            return EZIP_E_STAGING;
        }
        done += take;
    }
    return EZIP_OK;
}

} // namespace

bool readDirectly(std::uint16_t method) {
    return method == storedMethod || method == deflateMethod;
}

std::int64_t modifiedTimeOf(const PlannedFile& file) {
    const std::uint32_t date = file.dosTime >> 16U;
    const std::uint32_t time = file.dosTime & 0xFFFFU;
    std::tm fields{};
    fields.tm_isdst = -1;
    fields.tm_year = static_cast<int>(((date >> 9U) & 127U) + 80U);
    fields.tm_mon = static_cast<int>((date >> 5U) & 15U) - 1;
    fields.tm_mday = static_cast<int>(date & 31U);
    fields.tm_hour = static_cast<int>((time >> 11U) & 31U);
    fields.tm_min = static_cast<int>((time >> 5U) & 63U);
    fields.tm_sec = static_cast<int>((time << 1U) & 62U);
    return static_cast<std::int64_t>(std::mktime(&fields));
}

std::int64_t ModifiedTimes::of(const PlannedFile& file) {
    // The seconds field steps by two, so the time's upper bits tell slots apart.
    Slot& slot = slots_.at((file.dosTime >> 1U) % slots_.size());
    if (!slot.known || slot.dosTime != file.dosTime) {
        slot = Slot{file.dosTime, true, modifiedTimeOf(file)};
    }
    return slot.seconds;
}

DirectCopier::DirectCopier() {
#ifdef EZIP_WITH_LIBDEFLATE
    decompressor_ = libdeflate_alloc_decompressor();
#endif
}

DirectCopier::~DirectCopier() {
#ifdef EZIP_WITH_LIBDEFLATE
    libdeflate_free_decompressor(decompressor_);
#endif
}

int DirectCopier::copy(const qlx::FileHandle& archive, const PlannedFile& file,
                       const qlx::FileHandle& staged, const WriteBuffers& buffers) {
    const bool decodable = decompressor_ != nullptr || file.method == storedMethod;
    if (decodable && file.size <= wholeSize &&
        file.dataEnd - file.localOffset <= wholeSize + headerRoom) {
        return copyWhole(archive, file, staged);
    }
    return copyStreamed(archive, file, staged, buffers);
}

int DirectCopier::copyWhole(const qlx::FileHandle& archive, const PlannedFile& file,
                            const qlx::FileHandle& staged) {
    const auto span = static_cast<std::size_t>(file.dataEnd - file.localOffset);
    if (span < localHeaderSize) {
        return EZIP_E_STRUCTURE;
    }
    input_.resize(std::max(input_.size(), span));
    if (!readFully(archive, file.localOffset, input_.data(), span)) {
        return EZIP_E_DATA;
    }
    std::uint64_t start = 0;
    if (const int code = dataStartOf(input_.data(), file, start); code != EZIP_OK) {
        return code;
    }
    return decodeWhole(file, input_.data() + (start - file.localOffset), staged);
}

int DirectCopier::decodeWhole(const PlannedFile& file, const unsigned char* data,
                              const qlx::FileHandle& staged) {
    const auto size = static_cast<std::size_t>(file.size);
    const unsigned char* out = data;
    if (file.method == storedMethod) {
        if (file.compressedSize != file.size) {
            return EZIP_E_SIZE;
        }
    } else {
#ifdef EZIP_WITH_LIBDEFLATE
        // The buffer is the declared size: a stream that says more is refused.
        output_.resize(std::max(output_.size(), std::max<std::size_t>(size, 1)));
        std::size_t actual = 0;
        const libdeflate_result result = libdeflate_deflate_decompress(
            decompressor_, data, static_cast<std::size_t>(file.compressedSize), output_.data(),
            size, &actual);
        if (result == LIBDEFLATE_BAD_DATA) {
            return EZIP_E_DATA;
        }
        if (result != LIBDEFLATE_SUCCESS || actual != size) {
            return EZIP_E_SIZE; // shorter, or longer than declared
        }
        out = output_.data();
#endif
    }
    if (crcOf(0, out, size) != file.crc) {
        return EZIP_E_DATA;
    }
    return qlx::writeAll(staged, out, size) ? EZIP_OK : EZIP_E_STAGING;
}

int DirectCopier::copyStreamed(const qlx::FileHandle& archive, const PlannedFile& file,
                               const qlx::FileHandle& staged, const WriteBuffers& buffers) {
    std::array<unsigned char, localHeaderSize> header{};
    std::uint64_t start = 0;
    if (file.dataEnd - file.localOffset < header.size() ||
        !readFully(archive, file.localOffset, header.data(), header.size())) {
        return EZIP_E_STRUCTURE;
    }
    if (const int code = dataStartOf(header.data(), file, start); code != EZIP_OK) {
        return code;
    }
    BlockWriter writer(staged, buffers.first, buffers.capacity, buffers.pipelined);
    int code = file.method == storedMethod
                   ? copyStored(archive, file, start, writer, buffers.capacity)
                   : inflateStreamed(archive, file, start, writer, buffers.capacity);
    if (!writer.finish() && code == EZIP_OK) {
        code = EZIP_E_STAGING;
    }
    return code == EZIP_OK && writer.crc() != file.crc ? EZIP_E_DATA : code;
}

// Inflates the entry's deflated bytes at `start` through `writer`, never
// past one byte more than the declared size, which tells a longer stream.
int DirectCopier::inflateStreamed(const qlx::FileHandle& archive, const PlannedFile& file,
                                  std::uint64_t start, BlockWriter& writer, std::size_t capacity) {
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
        return EZIP_E_INTERNAL;
    }
    input_.resize(std::max(input_.size(), streamBlock));
    const std::uint64_t end = start + file.compressedSize;
    std::uint64_t total = 0;
    std::size_t filled = 0;
    int code = EZIP_OK;
    int status = Z_OK;
    while (code == EZIP_OK && status != Z_STREAM_END) {
        if (stream.avail_in == 0) {
            const auto take =
                static_cast<std::size_t>(std::min<std::uint64_t>(streamBlock, end - start));
            if (take == 0 || !readFully(archive, start, input_.data(), take)) {
                code = EZIP_E_DATA; // the stream ends before its end of data
                break;
            }
            start += take;
            stream.next_in = input_.data();
            stream.avail_in = static_cast<uInt>(take);
        }
        unsigned char* out = writer.buffer() + filled;
        const auto room =
            static_cast<uInt>(std::min<std::uint64_t>(capacity - filled, file.size - total + 1));
        stream.next_out = out;
        stream.avail_out = room;
        status = inflate(&stream, Z_NO_FLUSH);
        const std::size_t produced = room - stream.avail_out;
        total += produced;
        filled += produced;
        const bool stuck = status == Z_BUF_ERROR && produced == 0 && stream.avail_in > 0;
        if (stuck || (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)) {
            code = EZIP_E_DATA;
        } else if (total > file.size) {
            code = EZIP_E_SIZE;
        } else if (filled == capacity || (status == Z_STREAM_END && filled > 0)) {
            code = writer.put(filled) ? EZIP_OK : EZIP_E_STAGING;
            filled = 0;
        }
    }
    inflateEnd(&stream);
    if (code == EZIP_OK && total != file.size) {
        code = EZIP_E_SIZE;
    }
    return code;
}

} // namespace ezip

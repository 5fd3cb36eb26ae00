#include "libs/ezip/read_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace ezip {

namespace {

constexpr std::size_t blockSize = 1U << 20U;

} // namespace

ReadSource::ReadSource(qlx::FileHandle file, const LibzipView& view)
    : file_(std::move(file)), view_(&view),
      block_(std::make_unique_for_overwrite<unsigned char[]>(blockSize)) {
    zip_error_init(&error_);
    if (const auto size = qlx::fileSize(file_)) {
        fileSize_ = *size;
        size_ = fileSize_ - std::min(view.shift, fileSize_) + view.padding;
    }
}

ReadSource::~ReadSource() {
    zip_error_fini(&error_);
}

zip_t* ReadSource::open() {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_function_create(&ReadSource::callback, this, &error);
    zip_t* archive = nullptr;
    if (source != nullptr) {
        archive = zip_open_from_source(source, ZIP_RDONLY, &error);
        if (archive == nullptr) {
            zip_source_free(source);
        }
    }
    zip_error_fini(&error);
    return archive;
}

zip_int64_t ReadSource::read(void* data, zip_uint64_t length) {
    auto* out = static_cast<unsigned char*>(data);
    std::uint64_t done = 0;
    while (done < length && position_ < size_) {
        // Where libzip's position lies in the file.
        const std::uint64_t at = position_ + view_->shift;
        if (at >= fileSize_) {
            const std::uint64_t take = std::min<std::uint64_t>(length - done, size_ - position_);
            std::memset(out + done, 0, static_cast<std::size_t>(take));
            done += take;
            position_ += take;
            continue;
        }
        if (at < blockStart_ || at >= blockStart_ + blockLength_) {
            std::size_t want = blockSize;
            if (at >= expectedStart_ && at < expectedEnd_) {
                want = static_cast<std::size_t>(std::min<std::uint64_t>(
                    blockSize, std::max<std::uint64_t>(expectedEnd_ - at, length - done)));
            }
            const std::int64_t got = qlx::readAt(file_, at, block_.get(), want);
            if (got <= 0) {
                zip_error_set(&error_, ZIP_ER_READ, EIO);
                return -1;
            }
            blockStart_ = at;
            blockLength_ = static_cast<std::size_t>(got);
            zeroStrayBytes();
        }
        const std::uint64_t offset = at - blockStart_;
        const std::uint64_t take = std::min<std::uint64_t>(length - done, blockLength_ - offset);
        std::memcpy(out + done, block_.get() + offset, static_cast<std::size_t>(take));
        done += take;
        position_ += take;
    }
    return static_cast<zip_int64_t>(done);
}

void ReadSource::zeroStrayBytes() {
    const auto& zeroed = view_->zeroed;
    const std::uint64_t blockEnd = blockStart_ + blockLength_;
    auto range = std::partition_point(zeroed.begin(), zeroed.end(), [&](const auto& stray) {
        return stray.first + stray.second <= blockStart_;
    });
    for (; range != zeroed.end() && range->first < blockEnd; ++range) {
        const std::uint64_t from = std::max(range->first, blockStart_);
        const std::uint64_t to = std::min(range->first + range->second, blockEnd);
        std::memset(block_.get() + (from - blockStart_), 0, static_cast<std::size_t>(to - from));
    }
}

zip_int64_t ReadSource::callback(void* self, void* data, zip_uint64_t length,
                                 zip_source_cmd_t command) {
    auto& source = *static_cast<ReadSource*>(self);
    switch (command) {
    case ZIP_SOURCE_OPEN:
        source.position_ = 0;
        return 0;
    case ZIP_SOURCE_READ:
        return source.read(data, length);
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_FREE:
        return 0;
    case ZIP_SOURCE_STAT: {
        auto* stat = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &source.error_);
        if (stat == nullptr) {
            return -1;
        }
        zip_stat_init(stat);
        stat->size = source.size_;
        stat->valid |= ZIP_STAT_SIZE;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&source.error_, data, length);
    case ZIP_SOURCE_SEEK: {
        const zip_int64_t position = zip_source_seek_compute_offset(source.position_, source.size_,
                                                                    data, length, &source.error_);
        if (position < 0) {
            return -1;
        }
        source.position_ = static_cast<std::uint64_t>(position);
        return 0;
    }
    case ZIP_SOURCE_TELL:
        return static_cast<zip_int64_t>(source.position_);
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(
            ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR,
            ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, ZIP_SOURCE_SUPPORTS, -1);
    default:
        zip_error_set(&source.error_, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

} // namespace ezip

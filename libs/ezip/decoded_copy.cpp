#include "libs/ezip/decoded_copy.h"

#include "libs/ezip/ezip_codes.h"
#include "libs/ezip/raw_decoder.h"

#include <algorithm>
#include <cstring>

namespace ezip {

namespace {

class StagedSink final : public DecodedSink {
public:
    StagedSink(BlockWriter& writer, std::size_t capacity, std::uint64_t size)
        : writer_(writer), capacity_(capacity), size_(size) {}

    bool put(const unsigned char* data, std::size_t length) override {
        total_ += length;
        if (total_ > size_) {
            code_ = EZIP_E_SIZE;
            return false;
        }
        while (length > 0) {
            const std::size_t take = std::min(length, capacity_ - filled_);
            std::memcpy(writer_.buffer() + filled_, data, take);
            filled_ += take;
            data += take;
            length -= take;
            if (filled_ == capacity_ && !flush()) {
                return false;
            }
        }
        return true;
    }

    bool flush() {
        if (filled_ > 0 && !writer_.put(filled_)) {
            code_ = EZIP_E_STAGING;
            return false;
        }
        filled_ = 0;
        return true;
    }

    [[nodiscard]] int code() const { return code_; }
    [[nodiscard]] std::uint64_t total() const { return total_; }

private:
    BlockWriter& writer_;
    std::size_t capacity_;
    std::uint64_t size_;
    std::size_t filled_ = 0;
    std::uint64_t total_ = 0;
    int code_ = EZIP_OK;
};

} // namespace

int copyDecoded(zip_file_t* raw, const PlannedFile& file, std::uint32_t crc, BlockWriter& writer,
                std::size_t capacity) {
    StagedSink sink(writer, capacity, file.size);
    RawInput input(raw);
    int code = decodeRaw(file.method, input, file.size, file.flags, sink);
    if (code == EZIP_E_STAGING && sink.code() != EZIP_OK) {
        code = sink.code();
    }
    if (code == EZIP_OK && !sink.flush()) {
        code = sink.code();
    }
    if (!writer.finish() && code == EZIP_OK) {
        code = EZIP_E_STAGING;
    }
    if (code == EZIP_OK && sink.total() != file.size) {
        code = EZIP_E_SIZE;
    }
    if (code == EZIP_OK && writer.crc() != crc) {
        code = EZIP_E_DATA;
    }
    return code;
}

} // namespace ezip

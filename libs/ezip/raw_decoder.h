#pragma once

#include <cstddef>
#include <cstdint>
#include <zip.h>

namespace ezip {

// Where decoded bytes go. False stops the decoding; the sink keeps the reason.
class DecodedSink {
public:
    virtual bool put(const unsigned char* data, std::size_t length) = 0;

protected:
    DecodedSink() = default;
    ~DecodedSink() = default;
    DecodedSink(const DecodedSink&) = default;
    DecodedSink& operator=(const DecodedSink&) = default;
};

// The still compressed bytes of one entry, opened with ZIP_FL_COMPRESSED, so
// that libzip reads no further than the entry's declared compressed size.
class RawInput {
public:
    explicit RawInput(zip_file_t* file) : file_(file) {}
    // Up to `length` bytes; 0 at the end of the entry's data, -1 on an error.
    std::int64_t read(unsigned char* data, std::size_t length) {
        return zip_fread(file_, data, length);
    }

private:
    zip_file_t* file_;
};

// Whether EZip decodes entries stored with `method` itself: libzip reads
// store, deflate and bzip2 and verifies their CRC; the others reach the
// decoders here as raw data.
[[nodiscard]] bool decodedHere(std::uint16_t method);

// Whether `method` can be unpacked at all.
[[nodiscard]] bool methodSupported(std::uint16_t method);

// Decodes the raw data of an entry stored with a method that decodedHere()
// names (`flags` are the entry's general purpose bits) into `sink`, handing it never more than
// `size` + 1 bytes, so that a stream claiming more than its declared size is stopped right past it.
// EZIP_OK when the stream ended; EZIP_E_DATA when it is corrupt or ends
// early; EZIP_E_STAGING when the sink refused (its own reason decides).
int decodeRaw(std::uint16_t method, RawInput& input, std::uint64_t size, std::uint16_t flags,
              DecodedSink& sink);

} // namespace ezip

#include "libs/ezip/zip_builder.h"

#include <stdexcept>
#include <zlib.h>

namespace ezip_test {

namespace {

void put(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFFU));
    }
}

} // namespace

std::uint32_t crcOf(const std::string& data) {
    return static_cast<std::uint32_t>(
        ::crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string rawDeflate(const std::string& data) {
    z_stream stream{};
    if (deflateInit2(&stream, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2");
    }
    std::string out(deflateBound(&stream, data.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) {
        throw std::runtime_error("deflate");
    }
    return out;
}

std::string ZipBuilder::localHeader(const Entry& entry) {
    std::string out;
    put(out, 0x04034b50, 4);
    put(out, 20, 2);
    put(out, entry.flags, 2);
    put(out, entry.method, 2);
    put(out, 0x0000, 2);             // time
    put(out, (45U << 9U) | 0x21, 2); // 2025-01-01
    put(out, entry.crc, 4);
    put(out, entry.compressedSize, 4);
    put(out, entry.size, 4);
    put(out, entry.name.size(), 2);
    put(out, 0, 2);
    return out + entry.name;
}

std::size_t ZipBuilder::add(const Entry& entry, const std::string& payload) {
    Entry copy = entry;
    copy.localOffset = static_cast<std::uint32_t>(bytes_.size());
    bytes_ += localHeader(copy) + payload;
    entries_.push_back(copy);
    return entries_.size() - 1;
}

std::size_t ZipBuilder::addStored(const std::string& name, const std::string& data) {
    Entry entry;
    entry.name = name;
    entry.crc = crcOf(data);
    entry.size = entry.compressedSize = static_cast<std::uint32_t>(data.size());
    return add(entry, data);
}

std::size_t ZipBuilder::addDeflated(const std::string& name, const std::string& data) {
    const std::string packed = rawDeflate(data);
    Entry entry;
    entry.name = name;
    entry.method = 8;
    entry.crc = crcOf(data);
    entry.size = static_cast<std::uint32_t>(data.size());
    entry.compressedSize = static_cast<std::uint32_t>(packed.size());
    return add(entry, packed);
}

std::string ZipBuilder::finish() const {
    return bytes_ + directoryAt(bytes_.size());
}

std::string ZipBuilder::centralRecords() const {
    std::string out;
    for (const auto& entry : entries_) {
        put(out, 0x02014b50, 4);
        put(out, entry.madeBy, 2);
        put(out, 20, 2);
        put(out, entry.flags, 2);
        put(out, entry.method, 2);
        put(out, 0x0000, 2);
        put(out, (45U << 9U) | 0x21, 2);
        put(out, entry.crc, 4);
        put(out, entry.compressedSize, 4);
        put(out, entry.size, 4);
        put(out, entry.name.size(), 2);
        put(out, entry.centralExtra.size(), 2);
        put(out, 0, 2); // comment
        put(out, 0, 2); // disk
        put(out, 0, 2); // internal attributes
        put(out, entry.externalAttributes, 4);
        put(out, entry.localOffset, 4);
        out += entry.name + entry.centralExtra;
    }
    return out;
}

std::string ZipBuilder::directoryAt(std::uint64_t directory) const {
    std::string out = centralRecords();
    const std::size_t directorySize = out.size();
    put(out, 0x06054b50, 4);
    put(out, 0, 2);
    put(out, 0, 2);
    put(out, entries_.size(), 2);
    put(out, entries_.size(), 2);
    put(out, directorySize, 4);
    put(out, directory, 4);
    put(out, 0, 2);
    return out;
}

std::string ZipBuilder::finishZip64(std::uint32_t disk) const {
    std::string out = bytes_ + centralRecords();
    const std::size_t directorySize = out.size() - bytes_.size();
    const std::size_t record = out.size();
    put(out, 0x06064b50, 4);
    put(out, 44, 8); // the record's size after this field
    put(out, 45, 2); // made by
    put(out, 45, 2); // needed
    put(out, disk, 4);
    put(out, disk, 4); // where the directory starts
    put(out, entries_.size(), 8);
    put(out, entries_.size(), 8);
    put(out, directorySize, 8);
    put(out, bytes_.size(), 8);
    put(out, 0x07064b50, 4);
    put(out, disk, 4);
    put(out, record, 8);
    put(out, disk + 1, 4); // disks in all
    put(out, 0x06054b50, 4);
    out.append(16, '\xFF'); // disks, counts, size and offset
    put(out, 0, 2);
    return out;
}

} // namespace ezip_test

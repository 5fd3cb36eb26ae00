#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ezip_test {

// Writes zip archives byte by byte, so that tests can make every field lie.
class ZipBuilder {
public:
    struct Entry {
        std::string name;
        std::uint16_t method = 0;
        std::uint16_t flags = 0;
        std::uint16_t madeBy = 0x031E; // Unix, version 3.0
        std::uint32_t crc = 0;
        std::uint32_t compressedSize = 0;
        std::uint32_t size = 0;
        std::uint32_t externalAttributes = 0100644U << 16U;
        std::uint32_t localOffset = 0;
        std::string centralExtra; // the central directory's extra field
    };

    // Appends a local header and `payload` (the stored or compressed bytes)
    // and records the entry for the central directory; returns its index.
    std::size_t add(const Entry& entry, const std::string& payload);
    // A stored or deflated entry with correct sizes and CRC.
    std::size_t addStored(const std::string& name, const std::string& data);
    std::size_t addDeflated(const std::string& name, const std::string& data);

    // Appends bytes that belong to no entry.
    void raw(const std::string& bytes) { bytes_ += bytes; }
    [[nodiscard]] std::size_t size() const { return bytes_.size(); }
    Entry& entry(std::size_t index) { return entries_[index]; }
    // An entry that only the central directory lists.
    void addCentralOnly(const Entry& entry) { entries_.push_back(entry); }

    static std::string localHeader(const Entry& entry);

    // The archive with its central directory and end record.
    [[nodiscard]] std::string finish() const;
    // Only the central directory and end record, for an archive whose local
    // parts the test writes itself and which end at `offset`.
    [[nodiscard]] std::string directoryAt(std::uint64_t offset) const;
    // The archive with zip64 end records on disk `disk`, and an end record
    // that holds all ones in every field, disk numbers included.
    [[nodiscard]] std::string finishZip64(std::uint32_t disk = 0) const;

private:
    [[nodiscard]] std::string centralRecords() const;

    std::string bytes_;
    std::vector<Entry> entries_;
};

std::uint32_t crcOf(const std::string& data);
std::string rawDeflate(const std::string& data);

} // namespace ezip_test

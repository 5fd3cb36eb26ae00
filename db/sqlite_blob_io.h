#pragma once

#include "base/bytes.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

struct sqlite3;

namespace qlx {

// Reads a SQLite BLOB straight into a buffer of its final size, and writes one
// from the caller's bytes, with SQLite's incremental BLOB I/O. A statement
// would assemble the whole value in SQLite's memory besides the caller's copy,
// holding the package twice.
class SqliteBlobIo {
public:
    // The BLOB of `column` in row `rowid` of `table`; nullopt with `error` set on failure.
    [[nodiscard]] static std::optional<Bytes> read(sqlite3* db, const std::string& table,
                                                   const std::string& column, std::int64_t rowid,
                                                   std::string& error);

    // The same BLOB handed to `sink` in pieces of kPiece bytes, each read
    // into one reused buffer; false with `error` set when the read fails or
    // the sink stops it. A row that changes meanwhile fails the read.
    static constexpr int kPiece = 256 * 1024;
    static bool stream(sqlite3* db, const std::string& table, const std::string& column,
                       std::int64_t rowid,
                       const std::function<bool(const char*, std::size_t)>& sink,
                       std::string& error);

    // Overwrites the BLOB in row `rowid` (already of `size` bytes, e.g. from
    // zeroblob()) with `data`; false with `error` set on failure.
    static bool write(sqlite3* db, const std::string& table, const std::string& column,
                      std::int64_t rowid, const char* data, std::size_t size, std::string& error);
};

} // namespace qlx

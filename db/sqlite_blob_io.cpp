#include "db/sqlite_blob_io.h"

#include "db/blob_rows.h"

#include <algorithm>
#include <sqlite3.h>

namespace qlx {

namespace {

constexpr int kChunk = 1024 * 1024;

// Opens the BLOB, closing what a failed open leaves; nullptr with `error` set.
sqlite3_blob* openBlob(sqlite3* db, const std::string& table, const std::string& column,
                       std::int64_t rowid, bool writable, std::string& error) {
    sqlite3_blob* blob = nullptr;
    if (sqlite3_blob_open(db, "main", table.c_str(), column.c_str(), rowid, writable ? 1 : 0,
                          &blob) != SQLITE_OK) {
        error = sqlite3_errmsg(db);
        if (blob != nullptr) {
            sqlite3_blob_close(blob);
        }
        return nullptr;
    }
    return blob;
}

} // namespace

std::optional<Bytes> SqliteBlobIo::read(sqlite3* db, const std::string& table,
                                        const std::string& column, std::int64_t rowid,
                                        std::string& error) {
    sqlite3_blob* blob = openBlob(db, table, column, rowid, false, error);
    if (blob == nullptr) {
        return std::nullopt;
    }
    const int size = sqlite3_blob_bytes(blob);
    Bytes bytes(static_cast<std::size_t>(size));
    for (int offset = 0; offset < size; offset += kChunk) {
        const int n = std::min(kChunk, size - offset);
        if (sqlite3_blob_read(blob, bytes.data() + offset, n, offset) != SQLITE_OK) {
            error = sqlite3_errmsg(db);
            sqlite3_blob_close(blob);
            return std::nullopt;
        }
    }
    sqlite3_blob_close(blob);
    return bytes;
}

bool SqliteBlobIo::stream(sqlite3* db, const std::string& table, const std::string& column,
                          std::int64_t rowid,
                          const std::function<bool(const char*, std::size_t)>& sink,
                          std::string& error) {
    sqlite3_blob* blob = openBlob(db, table, column, rowid, false, error);
    if (blob == nullptr) {
        return false;
    }
    const int size = sqlite3_blob_bytes(blob);
    Bytes piece(static_cast<std::size_t>(std::min(kPiece, size)));
    for (int offset = 0; offset < size; offset += kPiece) {
        const int n = std::min(kPiece, size - offset);
        if (sqlite3_blob_read(blob, piece.data(), n, offset) != SQLITE_OK) {
            error = sqlite3_errmsg(db);
            sqlite3_blob_close(blob);
            return false;
        }
        if (!sink(piece.data(), static_cast<std::size_t>(n))) {
            error = kSinkStopped;
            sqlite3_blob_close(blob);
            return false;
        }
    }
    sqlite3_blob_close(blob);
    return true;
}

bool SqliteBlobIo::write(sqlite3* db, const std::string& table, const std::string& column,
                         std::int64_t rowid, const char* data, std::size_t size,
                         std::string& error) {
    sqlite3_blob* blob = openBlob(db, table, column, rowid, true, error);
    if (blob == nullptr) {
        return false;
    }
    if (static_cast<std::size_t>(sqlite3_blob_bytes(blob)) != size) {
        sqlite3_blob_close(blob);
        error = "The BLOB has not the package's size";
        return false;
    }
    const int total = static_cast<int>(size);
    for (int offset = 0; offset < total; offset += kChunk) {
        const int n = std::min(kChunk, total - offset);
        if (sqlite3_blob_write(blob, data + offset, n, offset) != SQLITE_OK) {
            error = sqlite3_errmsg(db);
            sqlite3_blob_close(blob);
            return false;
        }
    }
    if (sqlite3_blob_close(blob) != SQLITE_OK) {
        error = sqlite3_errmsg(db);
        return false;
    }
    return true;
}

} // namespace qlx

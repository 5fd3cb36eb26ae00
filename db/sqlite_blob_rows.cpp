#include "db/blob_rows.h"
#include "db/sql_dialect.h"
#include "db/sqlite_blob_io.h"
#include "db/sqlite_connection.h"

namespace qlx {

namespace {

// The row's rowid, and whether its BLOB is NULL; `read` tells why there is
// none. typeof() is answered from the record's header, where "IS NULL" would
// load the whole BLOB into memory first.
std::optional<std::pair<std::int64_t, bool>> locateRow(SqliteConnection& db,
                                                       const BlobSelect& select, BlobRead& read) {
    const auto values = singleRowIntegers(
        db, {"rowid", "typeof(" + select.blobColumn + ") = 'null'"}, select, read);
    if (!values) {
        return std::nullopt;
    }
    return std::pair{(*values)[0].value_or(0), (*values)[1].value_or(0) != 0};
}

} // namespace

const SqlDialect& SqliteConnection::dialect() const {
    static const SqlDialect sqlite = dialectOfProduct("SQLite");
    return sqlite;
}

// The row is found with a statement, its BLOB read in place.
BlobRead SqliteConnection::readBlob(const BlobSelect& select) {
    BlobRead read;
    const auto row = locateRow(*this, select, read);
    if (!row) {
        return read;
    }
    const auto [rowid, isNull] = *row;
    if (isNull) {
        return {0, {}, std::nullopt};
    }
    std::string error;
    std::optional<Bytes> bytes =
        SqliteBlobIo::read(handle(), select.table, select.blobColumn, rowid, error);
    if (!bytes) {
        return {-1, error, std::nullopt};
    }
    return {0, {}, std::move(bytes)};
}

BlobStream SqliteConnection::streamBlob(const BlobSelect& select, const BlobSink& sink) {
    BlobRead read;
    const auto row = locateRow(*this, select, read);
    if (!row) {
        return {read.sqlCode, read.error};
    }
    const auto [rowid, isNull] = *row;
    if (isNull) {
        return {0, {}, true};
    }
    std::string error;
    if (!SqliteBlobIo::stream(handle(), select.table, select.blobColumn, rowid, sink, error)) {
        return {-1, error};
    }
    return {0, {}};
}

// The library would build the whole row in memory beside the caller's bytes;
// a zero-filled BLOB of the right size is written in place instead.
bool SqliteConnection::insertBlobRow(const BlobRow& row, std::string& error) {
    const std::optional<Bytes>& bytes = *row.bytes;
    if (!bytes || bytes->empty()) {
        return insertBlobBound(*this, row, error);
    }
    std::vector<DbParam> values = row.values;
    values.emplace_back(static_cast<std::int64_t>(bytes->size()));
    if (!dbExecute(*this, insertPrefix(row) + "zeroblob(?))", values)) {
        error = lastError();
        return false;
    }
    return SqliteBlobIo::write(handle(), row.table, row.blobColumn, lastInsertRowid(),
                               bytes->data(), bytes->size(), error);
}

} // namespace qlx

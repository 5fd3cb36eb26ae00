#pragma once

#include "base/bytes.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace qlx {

struct BlobSelect;
struct BlobRead;
struct BlobStream;
struct BlobRow;
struct SqlDialect;

// A NULL bound to a placeholder. The updater writes NULL only into BLOB
// columns, so it goes to the driver as a NULL of bytes.
struct DbNull {};
// Bytes bound to a placeholder: a view of the caller's bytes, which must stay
// alive until the statement has run.
struct DbBytes {
    const char* data = nullptr;
    std::size_t size = 0;
};
// What a placeholder "?" takes: NULL, a whole number, UTF-8 text or bytes.
using DbParam = std::variant<DbNull, std::int64_t, std::string, DbBytes>;

// Takes a BLOB's bytes piece by piece, in order; false stops the read.
using BlobSink = std::function<bool(const char* data, std::size_t size)>;

enum class DbStep { Row, Done, Error };

// A prepared statement of a DbConnection. Failures are false (or
// DbStep::Error) with the driver's text in the connection's lastError().
class DbStatement {
public:
    virtual ~DbStatement() = default;
    DbStatement() = default;
    DbStatement(const DbStatement&) = delete;
    DbStatement& operator=(const DbStatement&) = delete;

    // Binds `params` to the placeholders in order and runs the statement; the
    // result of an earlier run is dropped first.
    virtual bool execute(const std::vector<DbParam>& params = {}) = 0;
    // Moves to the next row of the result.
    virtual DbStep next() = 0;

    // The columns of the current row (0-based), read in increasing order and
    // each at most once: an ODBC driver may hand them over only so.
    // nullopt for NULL.
    virtual bool readInteger(int column, std::optional<std::int64_t>& value) = 0;
    virtual bool readText(int column, std::optional<std::string>& value) = 0;
    // The bytes go into one buffer of their final size, read in pieces.
    virtual bool readBytes(int column, std::optional<Bytes>& value) = 0;
    // The bytes into the first `size` bytes of `room`, which only grows, so
    // that a reader of many values allocates once; `null` tells a NULL.
    virtual bool readBytesInto(int column, Bytes& room, std::size_t& size, bool& null);

    // Rows changed by the last INSERT, UPDATE or DELETE.
    [[nodiscard]] virtual long long rowsAffected() = 0;
};

enum class DbBackend { Sqlite, Odbc };

// One open connection to a database, through SQLite's own library or ODBC.
class DbConnection {
public:
    virtual ~DbConnection() = default;
    DbConnection() = default;
    DbConnection(const DbConnection&) = delete;
    DbConnection& operator=(const DbConnection&) = delete;

    [[nodiscard]] virtual DbBackend backend() const = 0;
    // The database product behind the connection, as its driver names it:
    // "SQLite", "PostgreSQL", "Oracle", ...
    [[nodiscard]] virtual std::string productName() const = 0;
    // How that product's SQL and BLOB transfer differ.
    [[nodiscard]] virtual const SqlDialect& dialect() const = 0;

    // The BLOB of the single row the select names, read the way this back
    // end reads BLOBs best, into one buffer of its final size.
    virtual BlobRead readBlob(const BlobSelect& select) = 0;
    // The same BLOB handed to `sink` piece by piece as it is read, so that
    // the caller need never hold all of it.
    virtual BlobStream streamBlob(const BlobSelect& select, const BlobSink& sink) = 0;
    // Inserts the row with its BLOB, written the way this back end writes
    // BLOBs best; false with `error` set when it fails.
    virtual bool insertBlobRow(const BlobRow& row, std::string& error) = 0;

    // nullptr with lastError() set when the statement is refused.
    virtual std::unique_ptr<DbStatement> prepare(const std::string& sql) = 0;

    // A transaction from begin() to commit() or rollback(); without one every
    // statement commits by itself.
    virtual bool begin() = 0;
    virtual bool commit() = 0;
    virtual bool rollback() = 0;
    [[nodiscard]] virtual bool inTransaction() const = 0;

    // Whether a table of this name exists, compared without regard to case;
    // nullopt on error.
    virtual std::optional<bool> hasTable(const std::string& name) = 0;

    // The driver's text of the last failure.
    [[nodiscard]] const std::string& lastError() const { return lastError_; }
    void setLastError(std::string text) { lastError_ = std::move(text); }

private:
    std::string lastError_;
};

// Prepares and runs a statement that returns no rows; false with
// lastError() set on failure.
bool dbExecute(DbConnection& connection, const std::string& sql,
               const std::vector<DbParam>& params = {});

// The first column of the single row of a query (e.g. a count); nullopt with
// lastError() set on failure or without a row.
std::optional<std::int64_t> dbQueryInteger(DbConnection& connection, const std::string& sql,
                                           const std::vector<DbParam>& params = {});

} // namespace qlx

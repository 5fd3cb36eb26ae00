#pragma once

#include "base/bytes.h"
#include "db/db_connection.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace qlx {

// A column of the row's key and the value it must equal, bound as given.
struct BlobKey {
    std::string column;
    std::variant<std::string, std::int64_t> value;
};

// One BLOB column of the single row whose key columns equal their values.
// Table and column names are the program's own identifiers.
struct BlobSelect {
    std::string table;
    std::string blobColumn;
    std::vector<BlobKey> keys;
};

// What a BLOB select found. SQLCode 0 with the bytes (nullopt for a NULL
// BLOB), 100 when there is no row, -1 with the driver's text otherwise.
struct BlobRead {
    long sqlCode = -1;
    std::string error;
    std::optional<Bytes> bytes;
};

// What a streamed BLOB select found: SQLCode as for BlobRead; isNull for a
// NULL BLOB, of which the sink got nothing. A sink that stopped the read
// makes it -1.
struct BlobStream {
    long sqlCode = -1;
    std::string error;
    bool isNull = false;
};

// The error text of a read that the sink stopped.
inline constexpr const char* kSinkStopped = "The BLOB's bytes could not be taken";

// A row to insert: its key columns and values, and a BLOB column holding
// `bytes` (NULL for nullopt), which the caller keeps alive meanwhile.
struct BlobRow {
    std::string table;
    std::vector<std::string> columns;
    std::vector<DbParam> values;
    std::string blobColumn;
    const std::optional<Bytes>* bytes = nullptr;
};

// What the back ends share in reading and writing BLOB rows.

// " WHERE A = ? AND B = ?" for the key columns, and their values in order.
[[nodiscard]] std::string whereClause(const std::vector<BlobKey>& keys);
[[nodiscard]] std::vector<DbParam> keyParams(const std::vector<BlobKey>& keys);

// Runs `sql` and stands on its first row; without one, `read` tells why
// (100: none, -1: an error) and the result is nullptr.
std::unique_ptr<DbStatement> firstRow(DbConnection& db, const std::string& sql,
                                      const std::vector<DbParam>& params, BlobRead& read);
// After the first row has been read: true when it was the only one; `read`
// holds the error otherwise.
bool onlyRow(DbConnection& db, DbStatement& statement, BlobRead& read);

// The whole numbers of the single row the key selects from `table`, one for
// each expression of `columns` (each nullopt for NULL); nullopt, with `read`
// telling why, when there is no single row or it cannot be read.
[[nodiscard]] std::optional<std::vector<std::optional<std::int64_t>>>
singleRowIntegers(DbConnection& db, const std::vector<std::string>& columns,
                  const BlobSelect& select, BlobRead& read);

// The row's BLOB as the driver hands it over: in pieces, into one buffer.
[[nodiscard]] BlobRead readBlobInPieces(DbConnection& db, const BlobSelect& select);
// The same, handed to `sink` at once: a driver that hands a BLOB over only
// whole gives nothing to stream.
[[nodiscard]] BlobStream streamBlobWhole(DbConnection& db, const BlobSelect& select,
                                         const BlobSink& sink);

// "INSERT INTO table (columns, blob) VALUES (?, ..., " without the BLOB's
// own value, which each back end writes in its own way.
[[nodiscard]] std::string insertPrefix(const BlobRow& row);
// Inserts the row with the BLOB bound as a value of the statement.
bool insertBlobBound(DbConnection& db, const BlobRow& row, std::string& error);

} // namespace qlx

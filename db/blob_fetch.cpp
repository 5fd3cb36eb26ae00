#include "db/blob_fetch.h"

#include "db/base64_text.h"
#include "db/db_connection.h"
#include "db/sqlite_blob_io.h"
#include "db/sqlite_connection.h"
#include "db/transaction.h"

#include <algorithm>
#include <memory>

namespace qlx {

namespace {

// " WHERE A = ? AND B = ?" for the key columns.
std::string whereClause(const std::vector<BlobKey>& keys) {
    std::string clause;
    for (const auto& key : keys) {
        clause += (clause.empty() ? " WHERE " : " AND ") + key.column + " = ?";
    }
    return clause;
}

std::vector<DbParam> keyParams(const std::vector<BlobKey>& keys) {
    std::vector<DbParam> params;
    for (const auto& key : keys) {
        std::visit([&](const auto& value) { params.emplace_back(value); }, key.value);
    }
    return params;
}

// Runs `sql` and stands on its first row. Without one SQLCode tells why (100
// none, -1 an error) and the result is nullptr.
std::unique_ptr<DbStatement> firstRow(Transaction& transaction, DbConnection& db,
                                      const std::string& sql, const std::vector<DbParam>& params) {
    std::unique_ptr<DbStatement> statement = db.prepare(sql);
    if (!statement || !statement->execute(params)) {
        transaction.setResult(-1, db.lastError());
        return nullptr;
    }
    switch (statement->next()) {
    case DbStep::Row:
        return statement;
    case DbStep::Done:
        transaction.setResult(100);
        return nullptr;
    case DbStep::Error:
        break;
    }
    transaction.setResult(-1, db.lastError());
    return nullptr;
}

// After the first row has been read: true when it was the only one.
bool onlyRow(Transaction& transaction, DbConnection& db, DbStatement& statement) {
    switch (statement.next()) {
    case DbStep::Done:
        return true;
    case DbStep::Row:
        transaction.setResult(-1, "The select returned more than one row");
        return false;
    case DbStep::Error:
        break;
    }
    transaction.setResult(-1, db.lastError());
    return false;
}

// SQLite: the row is found with a statement, its BLOB read in place.
void selectSqliteInPlace(Transaction& transaction, SqliteConnection& db, const std::string& table,
                         const std::string& blobColumn, const std::vector<BlobKey>& keys,
                         std::optional<Bytes>& buffer) {
    std::optional<std::int64_t> rowid;
    std::optional<std::int64_t> isNull;
    {
        const std::unique_ptr<DbStatement> row =
            firstRow(transaction, db,
                     "SELECT rowid, " + blobColumn + " IS NULL FROM " + table + whereClause(keys),
                     keyParams(keys));
        if (!row) {
            return;
        }
        if (!row->readInteger(0, rowid) || !row->readInteger(1, isNull)) {
            transaction.setResult(-1, db.lastError());
            return;
        }
        if (!onlyRow(transaction, db, *row)) {
            return;
        }
    }
    if (isNull.value_or(0) != 0) {
        buffer = std::nullopt;
        transaction.setResult(0);
        return;
    }
    std::string error;
    std::optional<Bytes> bytes =
        SqliteBlobIo::read(db.handle(), table, blobColumn, rowid.value_or(0), error);
    if (!bytes) {
        transaction.setResult(-1, error);
        return;
    }
    buffer = std::move(bytes);
    transaction.setResult(0);
}

// Any other ODBC source: the driver hands the value over in pieces.
void selectInPieces(Transaction& transaction, DbConnection& db, const std::string& table,
                    const std::string& blobColumn, const std::vector<BlobKey>& keys,
                    std::optional<Bytes>& buffer) {
    const std::unique_ptr<DbStatement> row =
        firstRow(transaction, db, "SELECT " + blobColumn + " FROM " + table + whereClause(keys),
                 keyParams(keys));
    if (!row) {
        return;
    }
    std::optional<Bytes> bytes;
    if (!row->readBytes(0, bytes)) {
        transaction.setResult(-1, db.lastError());
        return;
    }
    if (!onlyRow(transaction, db, *row)) {
        return;
    }
    buffer = std::move(bytes);
    transaction.setResult(0);
}

// PostgreSQL: the driver would decode a bytea from its hex text one character
// at a time, which costs more than the transfer. The server sends each slice
// as base64 text instead (four characters for three bytes), which the driver
// hands over untouched and which is decoded here straight into place. One
// statement returns every slice as its own row, so that the server encodes the
// next slice while this side decodes the last one, and the driver's cursor
// holds only a few of them.
void selectInSlices(Transaction& transaction, DbConnection& db, const std::string& table,
                    const std::string& blobColumn, const std::vector<BlobKey>& keys,
                    std::optional<Bytes>& buffer) {
    const std::string where = whereClause(keys);
    std::optional<std::int64_t> lengthValue;
    {
        const std::unique_ptr<DbStatement> row = firstRow(
            transaction, db, "SELECT octet_length(" + blobColumn + ") FROM " + table + where,
            keyParams(keys));
        if (!row) {
            return;
        }
        if (!row->readInteger(0, lengthValue)) {
            transaction.setResult(-1, db.lastError());
            return;
        }
        if (!onlyRow(transaction, db, *row)) {
            return;
        }
    }
    if (!lengthValue) {
        buffer = std::nullopt;
        transaction.setResult(0);
        return;
    }
    const std::int64_t length = *lengthValue;

    // One buffer of the final size; every slice is copied into it and dropped.
    // The rows may come in any order: each lands at its own offset, and the
    // slices must cover the value exactly once.
    Bytes bytes(static_cast<std::size_t>(length));
    const std::int64_t sliceCount = (length + kBlobSliceBytes - 1) / kBlobSliceBytes;
    std::vector<bool> seen(static_cast<std::size_t>(sliceCount), false);
    std::int64_t received = 0;
    const std::unique_ptr<DbStatement> slices =
        db.prepare("SELECT s, encode(substring(" + blobColumn +
                   ", CAST(s AS integer), CAST(? AS integer)), 'base64') || chr(10) FROM " + table +
                   ", generate_series(CAST(1 AS bigint), CAST(? AS bigint), CAST(? AS bigint)) "
                   "AS s" +
                   where);
    std::vector<DbParam> params{kBlobSliceBytes, length, kBlobSliceBytes};
    for (DbParam& key : keyParams(keys)) {
        params.push_back(std::move(key));
    }
    if (!slices || !slices->execute(params)) {
        transaction.setResult(-1, db.lastError());
        return;
    }
    for (;;) {
        const DbStep step = slices->next();
        if (step == DbStep::Done) {
            break;
        }
        std::optional<std::int64_t> start;
        std::optional<Bytes> slice;
        if (step == DbStep::Error || !slices->readInteger(0, start) ||
            !slices->readBytes(1, slice)) {
            transaction.setResult(-1, db.lastError());
            return;
        }
        const std::int64_t offset = start.value_or(0) - 1;
        const std::int64_t index = offset / kBlobSliceBytes;
        if (offset < 0 || offset % kBlobSliceBytes != 0 || index >= sliceCount ||
            seen[static_cast<std::size_t>(index)] || !slice) {
            transaction.setResult(-1, "The BLOB changed while it was read");
            return;
        }
        const auto expected = static_cast<std::size_t>(std::min(kBlobSliceBytes, length - offset));
        // psqlODBC hands text over as bytes with a terminating zero in place
        // of its last character, which is why the text ends in a line break.
        std::size_t textSize = slice->size();
        if (textSize > 0 && (*slice)[textSize - 1] == '\0') {
            --textSize;
        }
        const std::optional<std::size_t> decoded =
            decodeBase64(slice->data(), textSize, bytes.data() + offset, expected);
        if (decoded != expected) {
            transaction.setResult(-1, "The BLOB changed while it was read");
            return;
        }
        seen[static_cast<std::size_t>(index)] = true;
        ++received;
    }
    if (received != sliceCount) {
        transaction.setResult(-1, "The row went away while it was read");
        return;
    }
    buffer = std::move(bytes);
    transaction.setResult(0);
}

} // namespace

bool isPlainIdentifier(const std::string& name) {
    if (name.empty() || (name.front() >= '0' && name.front() <= '9')) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_';
    });
}

void selectSingleBlob(Transaction& transaction, const std::string& table,
                      const std::string& blobColumn, const std::vector<BlobKey>& keys,
                      std::optional<Bytes>& buffer) {
    DbConnection* db = transaction.connection();
    if (db == nullptr) {
        transaction.setResult(-1, "The transaction is not connected");
        return;
    }
    const bool plainKeys =
        !keys.empty() && std::all_of(keys.begin(), keys.end(),
                                     [](const auto& k) { return isPlainIdentifier(k.column); });
    if (!isPlainIdentifier(table) || !isPlainIdentifier(blobColumn) || !plainKeys) {
        transaction.setResult(-1, "Not a table or column name: " + table);
        return;
    }
    if (auto* sqlite = dynamic_cast<SqliteConnection*>(db)) {
        selectSqliteInPlace(transaction, *sqlite, table, blobColumn, keys, buffer);
    } else if (db->productName() == "PostgreSQL") {
        selectInSlices(transaction, *db, table, blobColumn, keys, buffer);
    } else {
        selectInPieces(transaction, *db, table, blobColumn, keys, buffer);
    }
}

} // namespace qlx

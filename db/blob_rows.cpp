#include "db/blob_rows.h"

namespace qlx {

namespace {

std::string joined(const std::vector<std::string>& items, const std::string& separator) {
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : separator) + item;
    }
    return text;
}

} // namespace

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

std::unique_ptr<DbStatement> firstRow(DbConnection& db, const std::string& sql,
                                      const std::vector<DbParam>& params, BlobRead& read) {
    std::unique_ptr<DbStatement> statement = db.prepare(sql);
    if (!statement || !statement->execute(params)) {
        read = {-1, db.lastError(), std::nullopt};
        return nullptr;
    }
    switch (statement->next()) {
    case DbStep::Row:
        return statement;
    case DbStep::Done:
        read = {100, {}, std::nullopt};
        return nullptr;
    case DbStep::Error:
        break;
    }
    read = {-1, db.lastError(), std::nullopt};
    return nullptr;
}

bool onlyRow(DbConnection& db, DbStatement& statement, BlobRead& read) {
    switch (statement.next()) {
    case DbStep::Done:
        return true;
    case DbStep::Row:
        read = {-1, "The select returned more than one row", std::nullopt};
        return false;
    case DbStep::Error:
        break;
    }
    read = {-1, db.lastError(), std::nullopt};
    return false;
}

std::optional<std::vector<std::optional<std::int64_t>>>
singleRowIntegers(DbConnection& db, const std::vector<std::string>& columns,
                  const BlobSelect& select, BlobRead& read) {
    const std::unique_ptr<DbStatement> row = firstRow(
        db, "SELECT " + joined(columns, ", ") + " FROM " + select.table + whereClause(select.keys),
        keyParams(select.keys), read);
    if (!row) {
        return std::nullopt;
    }
    std::vector<std::optional<std::int64_t>> values(columns.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!row->readInteger(static_cast<int>(i), values[i])) {
            read = {-1, db.lastError(), std::nullopt};
            return std::nullopt;
        }
    }
    if (!onlyRow(db, *row, read)) {
        return std::nullopt;
    }
    return values;
}

BlobRead readBlobInPieces(DbConnection& db, const BlobSelect& select) {
    BlobRead read;
    const std::unique_ptr<DbStatement> row = firstRow(
        db, "SELECT " + select.blobColumn + " FROM " + select.table + whereClause(select.keys),
        keyParams(select.keys), read);
    if (!row) {
        return read;
    }
    std::optional<Bytes> bytes;
    if (!row->readBytes(0, bytes)) {
        return {-1, db.lastError(), std::nullopt};
    }
    if (!onlyRow(db, *row, read)) {
        return read;
    }
    return {0, {}, std::move(bytes)};
}

BlobStream streamBlobWhole(DbConnection& db, const BlobSelect& select, const BlobSink& sink) {
    BlobRead read = readBlobInPieces(db, select);
    if (read.sqlCode != 0) {
        return {read.sqlCode, std::move(read.error)};
    }
    if (!read.bytes) {
        return {0, {}, true};
    }
    if (!sink(read.bytes->data(), read.bytes->size())) {
        return {-1, kSinkStopped};
    }
    return {0, {}};
}

std::string insertPrefix(const BlobRow& row) {
    const std::vector<std::string> marks(row.columns.size(), "?");
    return "INSERT INTO " + row.table + " (" + joined(row.columns, ", ") + ", " + row.blobColumn +
           ") VALUES (" + joined(marks, ", ") + ", ";
}

bool insertBlobBound(DbConnection& db, const BlobRow& row, std::string& error) {
    std::vector<DbParam> values = row.values;
    const std::optional<Bytes>& bytes = *row.bytes;
    if (bytes) {
        values.emplace_back(DbBytes{bytes->data(), bytes->size()});
    } else {
        values.emplace_back(DbNull{});
    }
    if (!dbExecute(db, insertPrefix(row) + "?)", values)) {
        error = db.lastError();
        return false;
    }
    return true;
}

} // namespace qlx

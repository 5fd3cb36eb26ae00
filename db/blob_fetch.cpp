#include "db/blob_fetch.h"

#include "db/db_connection.h"
#include "db/transaction.h"

#include <algorithm>

namespace qlx {

bool isPlainIdentifier(const std::string& name) {
    if (name.empty() || (name.front() >= '0' && name.front() <= '9')) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_';
    });
}

namespace {

// The connection, when the names are the program's own identifiers; nullptr,
// with the transaction's result set, otherwise.
DbConnection* checkedConnection(Transaction& transaction, const BlobSelect& select) {
    DbConnection* db = transaction.connection();
    if (db == nullptr) {
        transaction.setResult(-1, "The transaction is not connected");
        return nullptr;
    }
    const auto& keys = select.keys;
    const bool plainKeys =
        !keys.empty() && std::all_of(keys.begin(), keys.end(),
                                     [](const auto& k) { return isPlainIdentifier(k.column); });
    if (!isPlainIdentifier(select.table) || !isPlainIdentifier(select.blobColumn) || !plainKeys) {
        transaction.setResult(-1, "Not a table or column name: " + select.table);
        return nullptr;
    }
    return db;
}

} // namespace

void selectSingleBlob(Transaction& transaction, const std::string& table,
                      const std::string& blobColumn, const std::vector<BlobKey>& keys,
                      std::optional<Bytes>& buffer) {
    const BlobSelect select{table, blobColumn, keys};
    DbConnection* db = checkedConnection(transaction, select);
    if (db == nullptr) {
        return;
    }
    BlobRead read = db->readBlob(select);
    if (read.sqlCode == 0) {
        buffer = std::move(read.bytes);
    }
    transaction.setResult(read.sqlCode, read.error);
}

void streamSingleBlob(Transaction& transaction, const BlobSelect& select, const BlobSink& sink,
                      bool& isNull) {
    DbConnection* db = checkedConnection(transaction, select);
    if (db == nullptr) {
        return;
    }
    const BlobStream stream = db->streamBlob(select, sink);
    isNull = stream.sqlCode == 0 && stream.isNull;
    transaction.setResult(stream.sqlCode, stream.error);
}

} // namespace qlx

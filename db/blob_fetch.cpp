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
    BlobRead read = db->readBlob({table, blobColumn, keys});
    if (read.sqlCode == 0) {
        buffer = std::move(read.bytes);
    }
    transaction.setResult(read.sqlCode, read.error);
}

} // namespace qlx

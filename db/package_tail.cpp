#include "db/package_tail.h"

#include "db/base64_text.h"
#include "db/db_connection.h"
#include "db/transaction.h"

namespace qlx {

namespace {

// SQLite reads BLOBs by the byte; PostgreSQL's driver would decode hex, so
// the server sends base64, as it does for whole packages.
std::optional<std::string> tailSelect(DbConnection& db, const std::string& fileTable) {
    const std::string where = " FROM " + fileTable + " WHERE FILENAME = ? AND BUILDNO = ?";
    if (db.backend() == DbBackend::Sqlite) {
        return "SELECT length(eFILE), substr(eFILE, max(length(eFILE) - ?, 0) + 1)" + where;
    }
    if (db.productName().find("PostgreSQL") != std::string::npos) {
        return "SELECT octet_length(eFILE), encode(substring(eFILE from "
               "greatest(octet_length(eFILE)"
               " - ?, 0) + 1), 'base64')" +
               where;
    }
    return std::nullopt;
}

bool readTail(DbStatement& select, bool base64, Bytes& tail) {
    if (!base64) {
        std::optional<Bytes> bytes;
        if (!select.readBytes(1, bytes) || !bytes) {
            return false;
        }
        tail = std::move(*bytes);
        return true;
    }
    std::optional<std::string> text;
    if (!select.readText(1, text) || !text) {
        return false;
    }
    tail.resize(text->size());
    const std::optional<std::size_t> size =
        decodeBase64(text->data(), text->size(), tail.data(), tail.size());
    tail.resize(size.value_or(0));
    return size.has_value();
}

} // namespace

std::optional<PackageTail> selectPackageTail(Transaction& transaction, const std::string& fileTable,
                                             const FileListRow& row, std::size_t size) {
    DbConnection* db = transaction.connection();
    const std::optional<std::string> sql =
        db != nullptr ? tailSelect(*db, fileTable) : std::nullopt;
    if (!sql) {
        return std::nullopt;
    }
    const std::unique_ptr<DbStatement> select = db->prepare(*sql);
    if (!select || !select->execute({static_cast<std::int64_t>(size), row.filename, row.buildno}) ||
        select->next() != DbStep::Row) {
        return std::nullopt;
    }
    PackageTail tail;
    std::optional<std::int64_t> length;
    if (!select->readInteger(0, length) || !length ||
        !readTail(*select, db->backend() != DbBackend::Sqlite, tail.tail)) {
        return std::nullopt;
    }
    tail.length = *length;
    return tail;
}

} // namespace qlx

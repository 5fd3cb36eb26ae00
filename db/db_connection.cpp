#include "db/db_connection.h"

#include <algorithm>

namespace qlx {

bool DbStatement::readBytesInto(int column, Bytes& room, std::size_t& size, bool& null) {
    std::optional<Bytes> value;
    if (!readBytes(column, value)) {
        return false;
    }
    null = !value;
    size = value ? value->size() : 0;
    if (room.size() < size) {
        room.resize(size);
    }
    if (value) {
        std::copy(value->begin(), value->end(), room.begin());
    }
    return true;
}

bool dbExecute(DbConnection& connection, const std::string& sql,
               const std::vector<DbParam>& params) {
    const std::unique_ptr<DbStatement> statement = connection.prepare(sql);
    return statement && statement->execute(params);
}

std::optional<std::int64_t> dbQueryInteger(DbConnection& connection, const std::string& sql,
                                           const std::vector<DbParam>& params) {
    const std::unique_ptr<DbStatement> statement = connection.prepare(sql);
    if (!statement || !statement->execute(params)) {
        return std::nullopt;
    }
    const DbStep step = statement->next();
    if (step != DbStep::Row) {
        if (step == DbStep::Done) {
            connection.setLastError("The query returned no row");
        }
        return std::nullopt;
    }
    std::optional<std::int64_t> value;
    if (!statement->readInteger(0, value)) {
        return std::nullopt;
    }
    if (!value) {
        connection.setLastError("The query returned NULL");
    }
    return value;
}

} // namespace qlx

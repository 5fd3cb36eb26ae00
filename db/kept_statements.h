#pragma once

#include "db/db_connection.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace qlx {

// Statements kept prepared for the life of a connection, by their text, for
// the few that run once per package: preparing one costs the driver round
// trips of its own (parse, describe, deallocate).
class KeptStatements {
public:
    // The statement of this text, prepared on first use; nullptr with the
    // connection's lastError() set when it is refused.
    DbStatement* get(DbConnection& db, const std::string& sql);
    // Drops them all; the connection's owner calls this before it closes.
    void clear() { kept_.clear(); }

private:
    std::vector<std::pair<std::string, std::unique_ptr<DbStatement>>> kept_;
};

} // namespace qlx

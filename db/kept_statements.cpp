#include "db/kept_statements.h"

#include <algorithm>

namespace qlx {

namespace {

// Reads of a run name a handful of tables and keys; more would be a mistake
// that must not grow without bound.
constexpr std::size_t kMostKept = 8;

} // namespace

DbStatement* KeptStatements::get(DbConnection& db, const std::string& sql) {
    const auto found = std::find_if(kept_.begin(), kept_.end(),
                                    [&](const auto& entry) { return entry.first == sql; });
    if (found != kept_.end()) {
        return found->second.get();
    }
    std::unique_ptr<DbStatement> statement = db.prepare(sql);
    if (!statement) {
        return nullptr;
    }
    if (kept_.size() == kMostKept) {
        kept_.erase(kept_.begin());
    }
    kept_.emplace_back(sql, std::move(statement));
    return kept_.back().second.get();
}

} // namespace qlx

#pragma once

#include "db/db_connection.h"

#include <cstdint>
#include <memory>
#include <string>

struct sqlite3;

namespace qlx {

enum class SqliteOpen {
    ReadOnly,  // the updater: the update database is only read
    ReadWrite, // the publisher: an existing file, written
    Create,    // tests and the publisher's init: made when missing
};

// A connection through SQLite's own C library. Statements must be released
// before their connection.
class SqliteConnection final : public DbConnection {
public:
    // Opens the database file `file` (UTF-8, relative to the current folder).
    // Unless `mode` is Create, a missing file (or a folder) is refused, never
    // made. The file is read once, so that a file that is no database is
    // refused here. nullptr with `error` set on failure.
    static std::unique_ptr<SqliteConnection> open(const std::string& file, SqliteOpen mode,
                                                  std::string& error);
    ~SqliteConnection() override;

    [[nodiscard]] DbBackend backend() const override { return DbBackend::Sqlite; }
    [[nodiscard]] std::string productName() const override { return "SQLite"; }
    [[nodiscard]] const SqlDialect& dialect() const override;
    BlobRead readBlob(const BlobSelect& select) override;
    BlobStream streamBlob(const BlobSelect& select, const BlobSink& sink) override;
    bool insertBlobRow(const BlobRow& row, std::string& error) override;
    std::unique_ptr<DbStatement> prepare(const std::string& sql) override;
    bool begin() override;
    bool commit() override;
    bool rollback() override;
    [[nodiscard]] bool inTransaction() const override;
    std::optional<bool> hasTable(const std::string& name) override;

    // The library's handle, for the incremental BLOB reads and writes.
    [[nodiscard]] sqlite3* handle() const { return db_; }
    [[nodiscard]] std::int64_t lastInsertRowid() const;
    // Records the library's text of the last failure and returns false.
    bool fail();

private:
    explicit SqliteConnection(sqlite3* db) : db_(db) {}
    bool run(const char* sql);

    sqlite3* db_ = nullptr;
};

} // namespace qlx

#include "db/sqlite_connection.h"

#include <filesystem>
#include <limits>
#include <sqlite3.h>
#include <system_error>

namespace qlx {

namespace {

// Paths are UTF-8; a char8_t string makes the library read them so everywhere.
bool isRegularFile(const std::string& utf8) {
    std::error_code error;
    return std::filesystem::is_regular_file(
        std::filesystem::path(std::u8string(utf8.begin(), utf8.end())), error);
}

// The updater waits this long for a writer's lock, as its earlier driver did.
constexpr int kBusyTimeoutMs = 5000;

class SqliteStatement final : public DbStatement {
public:
    SqliteStatement(SqliteConnection& connection, sqlite3_stmt* statement)
        : connection_(connection), statement_(statement) {}
    ~SqliteStatement() override { sqlite3_finalize(statement_); }

    bool execute(const std::vector<DbParam>& params) override {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
        pendingRow_ = false;
        done_ = false;
        for (std::size_t i = 0; i < params.size(); ++i) {
            if (!bind(static_cast<int>(i) + 1, params[i])) {
                return connection_.fail();
            }
        }
        const int rc = sqlite3_step(statement_);
        if (rc == SQLITE_ROW) {
            pendingRow_ = true;
            return true;
        }
        if (rc == SQLITE_DONE) {
            done_ = true;
            changes_ = sqlite3_changes(connection_.handle());
            return true;
        }
        return connection_.fail();
    }

    DbStep next() override {
        if (pendingRow_) {
            pendingRow_ = false;
            return DbStep::Row;
        }
        if (done_) {
            return DbStep::Done;
        }
        const int rc = sqlite3_step(statement_);
        if (rc == SQLITE_ROW) {
            return DbStep::Row;
        }
        if (rc == SQLITE_DONE) {
            done_ = true;
            return DbStep::Done;
        }
        connection_.fail();
        return DbStep::Error;
    }

    bool readInteger(int column, std::optional<std::int64_t>& value) override {
        if (sqlite3_column_type(statement_, column) == SQLITE_NULL) {
            value.reset();
        } else {
            value = sqlite3_column_int64(statement_, column);
        }
        return true;
    }

    bool readText(int column, std::optional<std::string>& value) override {
        if (sqlite3_column_type(statement_, column) == SQLITE_NULL) {
            value.reset();
            return true;
        }
        const unsigned char* text = sqlite3_column_text(statement_, column);
        const int size = sqlite3_column_bytes(statement_, column);
        if (text == nullptr) {
            value = std::string();
        } else {
            value =
                std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size));
        }
        return true;
    }

    bool readBytes(int column, std::optional<Bytes>& value) override {
        if (sqlite3_column_type(statement_, column) == SQLITE_NULL) {
            value.reset();
            return true;
        }
        const auto* data = static_cast<const char*>(sqlite3_column_blob(statement_, column));
        const int size = sqlite3_column_bytes(statement_, column);
        value = data == nullptr ? Bytes() : Bytes(data, data + size);
        return true;
    }

    [[nodiscard]] long long rowsAffected() override { return changes_; }

private:
    bool bind(int index, const DbParam& param) {
        int rc = SQLITE_OK;
        if (std::holds_alternative<DbNull>(param)) {
            rc = sqlite3_bind_null(statement_, index);
        } else if (const auto* number = std::get_if<std::int64_t>(&param)) {
            rc = sqlite3_bind_int64(statement_, index, *number);
        } else if (const auto* text = std::get_if<std::string>(&param)) {
            rc = sqlite3_bind_text64(statement_, index, text->data(), text->size(),
                                     SQLITE_TRANSIENT, SQLITE_UTF8);
        } else {
            const auto& bytes = std::get<DbBytes>(param);
            // A null pointer would bind NULL; an empty BLOB is a BLOB.
            rc = bytes.size == 0 ? sqlite3_bind_zeroblob(statement_, index, 0)
                                 : sqlite3_bind_blob64(statement_, index, bytes.data, bytes.size,
                                                       SQLITE_STATIC);
        }
        return rc == SQLITE_OK;
    }

    SqliteConnection& connection_;
    sqlite3_stmt* statement_;
    bool pendingRow_ = false;
    bool done_ = false;
    long long changes_ = 0;
};

} // namespace

std::unique_ptr<SqliteConnection> SqliteConnection::open(const std::string& file, SqliteOpen mode,
                                                         std::string& error) {
    if (mode != SqliteOpen::Create && !isRegularFile(file)) {
        error = "The database file \"" + file + "\" does not exist";
        return nullptr;
    }
    int flags = SQLITE_OPEN_NOMUTEX;
    switch (mode) {
    case SqliteOpen::ReadOnly:
        flags |= SQLITE_OPEN_READONLY;
        break;
    case SqliteOpen::ReadWrite:
        flags |= SQLITE_OPEN_READWRITE;
        break;
    case SqliteOpen::Create:
        flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
        break;
    }
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(file.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        error = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close_v2(db);
        return nullptr;
    }
    sqlite3_extended_result_codes(db, 0);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    std::unique_ptr<SqliteConnection> connection(new SqliteConnection(db));
    // A reader passes over each package's pages once: a cache of the default
    // size would only hold pages that are never read again, beside the
    // package itself.
    if (mode == SqliteOpen::ReadOnly && !connection->run("PRAGMA cache_size = -256")) {
        error = connection->lastError();
        return nullptr;
    }
    // Opening reads nothing; a file that is no database shows only here.
    if (!connection->run("SELECT count(*) FROM sqlite_master")) {
        error = connection->lastError();
        return nullptr;
    }
    return connection;
}

SqliteConnection::~SqliteConnection() {
    sqlite3_close_v2(db_);
}

bool SqliteConnection::fail() {
    setLastError(sqlite3_errmsg(db_));
    return false;
}

bool SqliteConnection::run(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        setLastError(message != nullptr ? message : sqlite3_errmsg(db_));
        sqlite3_free(message);
        return false;
    }
    return true;
}

std::unique_ptr<DbStatement> SqliteConnection::prepare(const std::string& sql) {
    if (sql.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        setLastError("The statement is too long");
        return nullptr;
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &statement, nullptr) !=
        SQLITE_OK) {
        fail();
        sqlite3_finalize(statement);
        return nullptr;
    }
    return std::make_unique<SqliteStatement>(*this, statement);
}

bool SqliteConnection::begin() {
    return run("BEGIN");
}

bool SqliteConnection::commit() {
    return run("COMMIT");
}

bool SqliteConnection::rollback() {
    return run("ROLLBACK");
}

bool SqliteConnection::inTransaction() const {
    return sqlite3_get_autocommit(db_) == 0;
}

std::optional<bool> SqliteConnection::hasTable(const std::string& name) {
    const std::optional<std::int64_t> count = dbQueryInteger(
        *this,
        "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE",
        {name});
    if (!count) {
        return std::nullopt;
    }
    return *count > 0;
}

std::int64_t SqliteConnection::lastInsertRowid() const {
    return sqlite3_last_insert_rowid(db_);
}

} // namespace qlx

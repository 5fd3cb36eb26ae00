#include "support/update_targets.h"

#include "db/sqlite_connection.h"
#include "tools/package_store.h"

#include <cstdio>
#include <cstdlib>

namespace qlx::test {

namespace {

// Recreates the update tables of a SQLite file.
std::unique_ptr<DbConnection> makeSqliteFile(const std::string& path, std::string& error) {
    std::remove(path.c_str());
    std::unique_ptr<DbConnection> writer = SqliteConnection::open(path, SqliteOpen::Create, error);
    if (!writer || !publish::createSchema(*writer, error)) {
        return nullptr;
    }
    return writer;
}

// The folder of a file path, without its last "/".
std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

} // namespace

const char* targetName(TargetKind kind) {
    switch (kind) {
    case TargetKind::Sqlite:
        return "Sqlite";
    case TargetKind::Postgres:
        return "Postgres";
    case TargetKind::OdbcSqliteConnectionString:
        return "OdbcSqliteConnectionString";
    case TargetKind::OdbcSqliteDsn:
        return "OdbcSqliteDsn";
    case TargetKind::OracleViaOdbcSqliteDsn:
        return "OracleViaOdbcSqliteDsn";
    case TargetKind::OracleViaOdbcPostgresDsn:
        return "OracleViaOdbcPostgresDsn";
    }
    return "?";
}

std::unique_ptr<UpdateTarget> UpdateTarget::make(TargetKind kind, std::string& error) {
    std::unique_ptr<UpdateTarget> t(new UpdateTarget);
    t->kind = kind;
    if (kind != TargetKind::Sqlite) {
        t->server_ = PostgresServer::fromEnvFile(&error);
        if (!t->server_) {
            return nullptr;
        }
    }
    switch (kind) {
    case TargetKind::Sqlite:
    case TargetKind::OdbcSqliteConnectionString: {
        t->dir_ = std::make_unique<TempDir>();
        if (!t->dir_->isValid()) {
            error = "cannot make a temporary folder";
            return nullptr;
        }
        const std::string file = t->dir_->filePath("update.sqlite");
        t->writer = makeSqliteFile(file, error);
        if (!t->writer) {
            return nullptr;
        }
        if (kind == TargetKind::Sqlite) {
            t->dbms = "SQLite";
            t->serverName = file;
        } else {
            t->dbms = "ODBC";
            t->serverName = "DRIVER={QLX SQLite3};Database=" + file;
        }
        break;
    }
    case TargetKind::Postgres: {
        t->pgDatabase_ = t->server_->createDatabase(&error);
        if (t->pgDatabase_.empty()) {
            return nullptr;
        }
        t->writer = t->server_->superuser(t->pgDatabase_, error);
        if (!t->writer) {
            return nullptr;
        }
        t->dbms = "PostgreSQL";
        t->serverName = t->server_->serverName(t->pgDatabase_);
        break;
    }
    case TargetKind::OdbcSqliteDsn:
    case TargetKind::OracleViaOdbcSqliteDsn: {
        const char* odbcIni = std::getenv("ODBCINI");
        const std::string odbcDir = folderOf(odbcIni != nullptr ? odbcIni : "");
        t->writer = makeSqliteFile(odbcDir + "/qlx_dsn.sqlite", error);
        if (!t->writer) {
            return nullptr;
        }
        t->dbms = kind == TargetKind::OdbcSqliteDsn ? "ODBC" : "O84 ORACLE 8.0.4";
        t->serverName = "QLX_SQLITE";
        break;
    }
    case TargetKind::OracleViaOdbcPostgresDsn: {
        // The data source's database is shared, so its tables are made anew.
        t->writer = t->server_->asRole("qlx_dsn", error);
        if (!t->writer) {
            return nullptr;
        }
        if (!dbExecute(*t->writer, "DROP TABLE IF EXISTS QLX_UPT3, QLX_UPT2, QLX_UPT")) {
            error = t->writer->lastError();
            return nullptr;
        }
        if (!publish::createSchema(*t->writer, error)) {
            return nullptr;
        }
        t->dbms = "O10 Oracle10g (10.1.0)";
        t->serverName = "QLX_PG";
        break;
    }
    }
    return t;
}

UpdateTarget::~UpdateTarget() {
    writer.reset();
    if (server_ && !pgDatabase_.empty()) {
        server_->dropDatabase(pgDatabase_);
    }
}

} // namespace qlx::test

#include "support/update_targets.h"

#include "tools/package_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace qlx::test {

namespace {

QString connectionName() {
    return QLatin1String("qlx_writer_") + QUuid::createUuid().toString(QUuid::Id128);
}

// Recreates the update tables of a SQLite file.
bool makeSqliteFile(const QString& path, QSqlDatabase& writer, QString& error) {
    QFile::remove(path);
    writer = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName());
    writer.setDatabaseName(path);
    if (!writer.open()) {
        error = writer.lastError().text();
        return false;
    }
    return publish::createSchema(writer, error);
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

std::unique_ptr<UpdateTarget> UpdateTarget::make(TargetKind kind, QString& error) {
    std::unique_ptr<UpdateTarget> t(new UpdateTarget);
    t->kind = kind;
    const bool needsServer = kind != TargetKind::Sqlite;
    if (needsServer) {
        t->server_ = PostgresServer::fromEnvFile(&error);
        if (!t->server_) {
            return nullptr;
        }
        t->server_->useOdbcFiles();
    }
    switch (kind) {
    case TargetKind::Sqlite:
    case TargetKind::OdbcSqliteConnectionString: {
        t->dir_ = std::make_unique<QTemporaryDir>();
        const QString file = t->dir_->filePath(QStringLiteral("update.sqlite"));
        if (!makeSqliteFile(file, t->writer, error)) {
            return nullptr;
        }
        if (kind == TargetKind::Sqlite) {
            t->dbms = QStringLiteral("SQLite");
            t->serverName = file;
        } else {
            t->dbms = QStringLiteral("ODBC");
            t->serverName = QLatin1String("DRIVER={QLX SQLite3};Database=") + file;
        }
        break;
    }
    case TargetKind::Postgres: {
        t->pgDatabase_ = t->server_->createDatabase(&error);
        if (t->pgDatabase_.isEmpty()) {
            return nullptr;
        }
        t->writer = t->server_->superuser(t->pgDatabase_);
        if (!t->writer.isOpen()) {
            error = t->writer.lastError().text();
            return nullptr;
        }
        t->dbms = QStringLiteral("PostgreSQL");
        t->serverName = t->server_->serverName(t->pgDatabase_);
        break;
    }
    case TargetKind::OdbcSqliteDsn:
    case TargetKind::OracleViaOdbcSqliteDsn: {
        const QString odbcDir = QFileInfo(qEnvironmentVariable("ODBCINI")).absolutePath();
        if (!makeSqliteFile(QDir(odbcDir).filePath(QStringLiteral("qlx_dsn.sqlite")), t->writer,
                            error)) {
            return nullptr;
        }
        t->dbms = kind == TargetKind::OdbcSqliteDsn ? QStringLiteral("ODBC")
                                                    : QStringLiteral("O84 ORACLE 8.0.4");
        t->serverName = QStringLiteral("QLX_SQLITE");
        break;
    }
    case TargetKind::OracleViaOdbcPostgresDsn: {
        // The data source's database is shared, so its tables are made anew.
        t->writer = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName());
        t->writer.setHostName(t->server_->host());
        t->writer.setPort(t->server_->port());
        t->writer.setDatabaseName(QStringLiteral("qlx_dsn"));
        t->writer.setUserName(t->server_->role());
        t->writer.setPassword(t->server_->rolePassword());
        if (!t->writer.open()) {
            error = t->writer.lastError().text();
            return nullptr;
        }
        {
            QSqlQuery drop(t->writer);
            drop.exec(QStringLiteral("DROP TABLE IF EXISTS QLX_UPT3, QLX_UPT2, QLX_UPT"));
        }
        if (!publish::createSchema(t->writer, error)) {
            return nullptr;
        }
        t->dbms = QStringLiteral("O10 Oracle10g (10.1.0)");
        t->serverName = QStringLiteral("QLX_PG");
        break;
    }
    }
    return t;
}

UpdateTarget::~UpdateTarget() {
    if (writer.isValid()) {
        closeConnection(writer);
    }
    if (server_ && !pgDatabase_.isEmpty()) {
        server_->dropDatabase(pgDatabase_);
    }
}

} // namespace qlx::test

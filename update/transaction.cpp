#include "update/transaction.h"

#include "update/dbms_mapping.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>

namespace qlx {

namespace {

QString nextConnectionName() {
    static std::atomic<unsigned long> counter{0};
    return QLatin1String("qlx_transaction_") + QString::number(++counter);
}

QString errorText(const QSqlError& error) {
    const QString database = error.databaseText().trimmed();
    return database.isEmpty() ? error.text().trimmed() : database;
}

// QODBC prefixes "DSN=" unless the string names a driver or server; a string
// that starts with its own "DSN=" keeps the rest so that the prefix is not doubled.
QString odbcDatabaseName(const QString& serverName) {
    if (!serverName.contains(u'=')) {
        return serverName;
    }
    const bool passedThrough = serverName.contains(QLatin1String("DRIVER="), Qt::CaseInsensitive) ||
                               serverName.contains(QLatin1String("SERVER="), Qt::CaseInsensitive);
    if (!passedThrough && serverName.startsWith(QLatin1String("DSN="), Qt::CaseInsensitive)) {
        return serverName.mid(4);
    }
    return serverName;
}

} // namespace

Transaction::Transaction() : connectionName_(nextConnectionName()) {}

Transaction::~Transaction() {
    if (connected_) {
        close();
    }
}

QString Transaction::connectionName() const {
    return connectionName_;
}

QSqlDatabase Transaction::database() const {
    if (!connected_) {
        return {};
    }
    return QSqlDatabase::database(connectionName_, false);
}

bool Transaction::isConnected() const {
    return connected_;
}

void Transaction::setResult(long code, const QString& text) {
    SQLCode = code;
    SQLErrText = text;
}

void Transaction::connect() {
    if (connected_) {
        close();
    }

    const std::optional<DbmsKind> kind = dbmsKindOf(DBMS);
    if (!kind) {
        setResult(-1, QLatin1String("Unknown DBMS identifier \"") + DBMS + QLatin1String("\""));
        return;
    }

    QString driver;
    switch (*kind) {
    case DbmsKind::Oracle:
        driver = QSqlDatabase::isDriverAvailable(QStringLiteral("QOCI")) ? QStringLiteral("QOCI")
                                                                         : QStringLiteral("QODBC");
        break;
    case DbmsKind::Odbc:
        driver = QStringLiteral("QODBC");
        break;
    case DbmsKind::PostgreSql:
        driver = QStringLiteral("QPSQL");
        break;
    case DbmsKind::Sqlite:
        driver = QStringLiteral("QSQLITE");
        break;
    }
    if (!QSqlDatabase::isDriverAvailable(driver)) {
        setResult(-1, QLatin1String("The database driver ") + driver + QLatin1String(" for \"") +
                          DBMS + QLatin1String("\" is not available"));
        return;
    }

    QString sqliteFile;
    std::optional<PostgresServer> postgres;
    if (*kind == DbmsKind::Sqlite) {
        // QSQLITE would create an empty database for a missing file, which
        // would then look like a reachable database without packages.
        sqliteFile = QDir::current().absoluteFilePath(ServerName);
        if (ServerName.trimmed().isEmpty() || !QFileInfo(sqliteFile).isFile()) {
            setResult(-1, QLatin1String("The database file \"") + ServerName +
                              QLatin1String("\" does not exist"));
            return;
        }
    } else if (*kind == DbmsKind::PostgreSql) {
        postgres = parsePostgresServer(ServerName);
        if (!postgres) {
            setResult(-1, QLatin1String("The server name \"") + ServerName +
                              QLatin1String("\" is not host[:port][/database]"));
            return;
        }
    }

    bool opened = false;
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, connectionName_);
        switch (*kind) {
        case DbmsKind::Sqlite:
            db.setDatabaseName(sqliteFile);
            if (!Writable) {
                db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
            }
            break;
        case DbmsKind::PostgreSql:
            db.setHostName(postgres->host);
            if (postgres->port) {
                db.setPort(*postgres->port);
            }
            db.setDatabaseName(postgres->database);
            break;
        case DbmsKind::Oracle:
        case DbmsKind::Odbc:
            db.setDatabaseName(driver == QLatin1String("QODBC") ? odbcDatabaseName(ServerName)
                                                                : ServerName);
            break;
        }
        if (*kind != DbmsKind::Sqlite) {
            db.setUserName(LogId);
            db.setPassword(LogPass);
        }
        opened = db.open();
        if (opened && *kind == DbmsKind::Sqlite) {
            // Opening reads nothing; a file that is no database shows only here.
            QSqlQuery probe(db);
            if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))) {
                opened = false;
                failure = errorText(probe.lastError());
            }
        }
        if (opened && !AutoCommit && db.driver()->hasFeature(QSqlDriver::Transactions)) {
            if (!db.transaction()) {
                opened = false;
                failure = errorText(db.lastError());
            }
        }
        if (!opened) {
            if (failure.isEmpty()) {
                failure = errorText(db.lastError());
            }
            db.close();
        }
    }
    if (!opened) {
        QSqlDatabase::removeDatabase(connectionName_);
        setResult(-1, failure.isEmpty() ? QStringLiteral("The connection failed") : failure);
        return;
    }
    connected_ = true;
    setResult(0);
}

void Transaction::disconnect() {
    if (!connected_) {
        setResult(-1, QStringLiteral("The transaction is not connected"));
        return;
    }
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
        if (!AutoCommit && db.driver()->hasFeature(QSqlDriver::Transactions)) {
            const std::optional<QString> commit =
                dbParmValue(DBParm, QStringLiteral("CommitOnDisconnect"));
            const bool rollback =
                commit && commit->trimmed().compare(QLatin1String("No"), Qt::CaseInsensitive) == 0;
            const bool ended = rollback ? db.rollback() : db.commit();
            if (!ended) {
                failure = errorText(db.lastError());
            }
        }
    }
    close(false);
    if (failure.isEmpty()) {
        setResult(0);
    } else {
        setResult(-1, failure);
    }
}

void Transaction::close(bool endTransaction) {
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
        if (db.isOpen()) {
            // Some ODBC drivers refuse to close inside a transaction.
            if (endTransaction && !AutoCommit &&
                db.driver()->hasFeature(QSqlDriver::Transactions)) {
                db.rollback();
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(connectionName_);
    connected_ = false;
}

} // namespace qlx

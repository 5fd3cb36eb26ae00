// Connecting the transaction to real databases: SQLite files, the fixture's
// PostgreSQL server and ODBC.

#include "support/postgres_server.h"
#include "support/update_targets.h"
#include "update/transaction.h"

#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace qlx;

struct SqliteFile {
    SqliteFile() {
        QString error;
        target = test::UpdateTarget::make(test::TargetKind::Sqlite, error);
    }
    std::unique_ptr<test::UpdateTarget> target;
};

void fill(Transaction& t, const QString& dbms, const QString& server) {
    t.DBMS = dbms;
    t.ServerName = server;
    t.LogId = QStringLiteral("QUIL_UPT");
    t.LogPass = QStringLiteral("KOLVEX4923TRA");
}

// A failed connect: SQLCode -1, not connected, the driver's text naming
// `textPart`.
void expectConnectFails(Transaction& sqlca, const char* textPart) {
    sqlca.connect();
    EXPECT_EQ(sqlca.SQLCode, -1);
    EXPECT_FALSE(sqlca.isConnected());
    EXPECT_FALSE(sqlca.SQLErrText.isEmpty());
    EXPECT_TRUE(sqlca.SQLErrText.contains(QLatin1String(textPart)))
        << sqlca.SQLErrText.toStdString();
}

long countRows(const QString& file) {
    Transaction reader;
    fill(reader, QStringLiteral("SQLite"), file);
    reader.AutoCommit = true;
    reader.connect();
    QSqlQuery q(reader.database());
    if (!q.exec(QStringLiteral("SELECT count(*) FROM QLX_UPT")) || !q.next()) {
        return -1;
    }
    return static_cast<long>(q.value(0).toLongLong());
}

TEST(TransactionSqlite, ConnectsAndDisconnects) {
    SqliteFile db;
    ASSERT_TRUE(db.target);
    Transaction sqlca;
    fill(sqlca, QStringLiteral("SQLite"), db.target->serverName);
    EXPECT_FALSE(sqlca.isConnected());
    sqlca.connect();
    EXPECT_EQ(sqlca.SQLCode, 0) << sqlca.SQLErrText.toStdString();
    EXPECT_TRUE(sqlca.isConnected());
    EXPECT_TRUE(sqlca.database().isOpen());
    sqlca.disconnect();
    EXPECT_EQ(sqlca.SQLCode, 0);
    EXPECT_FALSE(sqlca.isConnected());
    EXPECT_FALSE(QSqlDatabase::contains(sqlca.connectionName()));
    sqlca.disconnect();
    EXPECT_EQ(sqlca.SQLCode, -1) << "nothing to disconnect";
}

TEST(TransactionSqlite, TheUpdateDatabaseIsOnlyRead) {
    SqliteFile db;
    ASSERT_TRUE(db.target);
    Transaction sqlca;
    fill(sqlca, QStringLiteral("SQLite"), db.target->serverName);
    sqlca.connect();
    ASSERT_EQ(sqlca.SQLCode, 0) << sqlca.SQLErrText.toStdString();
    QSqlQuery query(sqlca.database());
    EXPECT_FALSE(query.exec(QStringLiteral("INSERT INTO QLX_UPT (UPDATE_ID) VALUES ('x')")));
    EXPECT_TRUE(query.lastError().text().contains(QLatin1String("readonly")))
        << query.lastError().text().toStdString();
}

TEST(TransactionSqlite, FileIsRelativeToTheCurrentFolder) {
    SqliteFile db;
    ASSERT_TRUE(db.target);
    const QString previous = QDir::currentPath();
    const QFileInfo file(db.target->serverName);
    ASSERT_TRUE(QDir::setCurrent(file.absolutePath()));
    Transaction sqlca;
    fill(sqlca, QStringLiteral("sqlite"), file.fileName());
    sqlca.connect();
    QDir::setCurrent(previous);
    EXPECT_EQ(sqlca.SQLCode, 0) << sqlca.SQLErrText.toStdString();
}

TEST(TransactionSqlite, RefusesWhatIsNoDatabase) {
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("missing.sqlite"));
    const QString notDb = dir.filePath(QStringLiteral("text.sqlite"));
    {
        QFile f(notDb);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
    }
    struct Case {
        QString dbms;
        QString server;
        const char* textPart;
    };
    const Case cases[] = {
        {QStringLiteral("SQLite"), missing, "missing.sqlite"},
        {QStringLiteral("SQLite"), QString(), "does not exist"},
        {QStringLiteral("SQLite"), dir.path(), "does not exist"},
        {QStringLiteral("SQLite"), notDb, ""},
        {QStringLiteral("MSS Microsoft SQL Server"), missing, "MSS Microsoft SQL Server"},
        {QString(), missing, "Unknown DBMS"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dbms.toStdString() + " " + c.server.toStdString());
        Transaction sqlca;
        fill(sqlca, c.dbms, c.server);
        expectConnectFails(sqlca, c.textPart);
        EXPECT_FALSE(QSqlDatabase::contains(sqlca.connectionName()));
    }
    EXPECT_FALSE(QFile::exists(missing)) << "a failed connect must not create the file";
}

TEST(TransactionSqlite, CommitOnDisconnectDecidesTheOutcome) {
    struct Case {
        const char* dbParm;
        bool autoCommit;
        long rowsAfter;
    };
    const Case cases[] = {
        {"CommitOnDisconnect='No'", false, 0},
        {"", false, 1},
        {"CommitOnDisconnect='Yes'", false, 1},
        {"CommitOnDisconnect='No'", true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.dbParm) + (c.autoCommit ? " auto" : ""));
        SqliteFile db;
        ASSERT_TRUE(db.target);
        Transaction sqlca;
        fill(sqlca, QStringLiteral("SQLite"), db.target->serverName);
        sqlca.DBParm = QString::fromLatin1(c.dbParm);
        sqlca.AutoCommit = c.autoCommit;
        sqlca.Writable = true;
        sqlca.connect();
        ASSERT_EQ(sqlca.SQLCode, 0);
        {
            QSqlQuery insert(sqlca.database());
            ASSERT_TRUE(
                insert.exec(QStringLiteral("INSERT INTO QLX_UPT (UPDATE_ID) VALUES ('x')")));
        }
        sqlca.disconnect();
        EXPECT_EQ(sqlca.SQLCode, 0) << sqlca.SQLErrText.toStdString();
        EXPECT_EQ(countRows(db.target->serverName), c.rowsAfter);
    }
}

TEST(TransactionSqlite, ReconnectsCleanlyAndKeepsConnectionsApart) {
    SqliteFile db;
    ASSERT_TRUE(db.target);
    Transaction first;
    Transaction second;
    EXPECT_NE(first.connectionName(), second.connectionName());
    fill(first, QStringLiteral("SQLite"), db.target->serverName);
    fill(second, QStringLiteral("SQLite"), db.target->serverName);
    first.connect();
    second.connect();
    ASSERT_EQ(first.SQLCode, 0);
    ASSERT_EQ(second.SQLCode, 0);
    first.connect();
    EXPECT_EQ(first.SQLCode, 0) << first.SQLErrText.toStdString();
    EXPECT_TRUE(first.isConnected());
    QSqlQuery q(first.database());
    EXPECT_TRUE(q.exec(QStringLiteral("SELECT count(*) FROM QLX_UPT3")));
    second.disconnect();
    EXPECT_TRUE(first.isConnected()) << "the other transaction is not affected";

    // A failed reconnect leaves no connection behind.
    first.ServerName = db.target->serverName + QLatin1String(".gone");
    q = QSqlQuery();
    first.connect();
    EXPECT_EQ(first.SQLCode, -1);
    EXPECT_FALSE(first.isConnected());
}

class TransactionServer : public ::testing::Test {
protected:
    void SetUp() override {
        QString error;
        server = test::PostgresServer::fromEnvFile(&error);
        ASSERT_TRUE(server) << error.toStdString();
        server->useOdbcFiles();
    }
    std::optional<test::PostgresServer> server;
};

TEST_F(TransactionServer, PostgresLoginSucceedsWithTheRolePassword) {
    Transaction sqlca;
    fill(sqlca, QStringLiteral("PostgreSQL"), server->serverName(server->defaultDatabase()));
    sqlca.connect();
    ASSERT_EQ(sqlca.SQLCode, 0) << sqlca.SQLErrText.toStdString();
    QSqlQuery q(sqlca.database());
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT current_user")) && q.next());
    EXPECT_EQ(q.value(0).toString(), QStringLiteral("QUIL_UPT"));
    q = QSqlQuery();
    sqlca.disconnect();
    EXPECT_EQ(sqlca.SQLCode, 0);
}

TEST_F(TransactionServer, WrongLoginsFailWithTheServersText) {
    struct Case {
        const char* name;
        QString dbms;
        QString server;
        QString password;
        const char* textPart;
    };
    const QString pg = server->serverName(server->defaultDatabase());
    const Case cases[] = {
        {"pg password", QStringLiteral("PGS"), pg, QStringLiteral("MWQRSB7364HUYTNF"),
         "password authentication failed"},
        {"pg database", QStringLiteral("PostgreSQL"), server->serverName(QStringLiteral("nope")),
         server->rolePassword(), "nope"},
        {"odbc-pg password", QStringLiteral("O10 Oracle10g (10.1.0)"), QStringLiteral("QLX_PG"),
         QStringLiteral("MWQRSB7364HUYTNF"), "password authentication failed"},
        {"odbc no dsn", QStringLiteral("O84 ORACLE 8.0.4"), QStringLiteral("QLX_NO_SUCH_DSN"),
         server->rolePassword(), ""},
        {"pg bad port", QStringLiteral("PostgreSQL"), QStringLiteral("127.0.0.1:x/db"),
         server->rolePassword(), "host[:port][/database]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Transaction sqlca;
        fill(sqlca, c.dbms, c.server);
        sqlca.LogPass = c.password;
        expectConnectFails(sqlca, c.textPart);
    }
}

TEST_F(TransactionServer, PostgresRollsBackOnDisconnectWhenAsked) {
    QString error;
    std::unique_ptr<test::UpdateTarget> target =
        test::UpdateTarget::make(test::TargetKind::Postgres, error);
    ASSERT_TRUE(target) << error.toStdString();
    for (const bool rollback : {true, false}) {
        Transaction sqlca;
        fill(sqlca, target->dbms, target->serverName);
        sqlca.DBParm = rollback ? QStringLiteral("CommitOnDisconnect='No'") : QString();
        sqlca.connect();
        ASSERT_EQ(sqlca.SQLCode, 0) << sqlca.SQLErrText.toStdString();
        {
            QSqlQuery insert(sqlca.database());
            ASSERT_TRUE(
                insert.exec(QStringLiteral("INSERT INTO QLX_UPT (UPDATE_ID) VALUES ('r')")));
        }
        sqlca.disconnect();
        QSqlQuery count(target->writer);
        ASSERT_TRUE(count.exec(QStringLiteral("SELECT count(*) FROM QLX_UPT")) && count.next());
        EXPECT_EQ(count.value(0).toLongLong(), rollback ? 0 : 1) << rollback;
    }
}

TEST_F(TransactionServer, OdbcConnectionStringReachesPostgres) {
    Transaction sqlca;
    fill(sqlca, QStringLiteral("ODBC"),
         QLatin1String("DRIVER={QLX PostgreSQL};Servername=") + server->host() +
             QLatin1String(";Port=") + QString::number(server->port()) +
             QLatin1String(";Database=") + server->defaultDatabase());
    sqlca.connect();
    EXPECT_EQ(sqlca.SQLCode, 0) << sqlca.SQLErrText.toStdString();
    EXPECT_TRUE(sqlca.isConnected());
}

} // namespace

// Connecting the transaction to real databases: SQLite files, the fixture's
// PostgreSQL server and ODBC.

#include "db/db_connection.h"
#include "db/transaction.h"
#include "support/postgres_server.h"
#include "support/test_files.h"
#include "support/update_targets.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace {

using namespace qlx;

struct SqliteFile {
    SqliteFile() {
        std::string error;
        target = test::UpdateTarget::make(test::TargetKind::Sqlite, error);
    }
    std::unique_ptr<test::UpdateTarget> target;
};

void fill(Transaction& t, const std::string& dbms, const std::string& server) {
    t.DBMS = dbms;
    t.ServerName = server;
    t.LogId = "QUIL_UPT";
    t.LogPass = "KOLVEX4923TRA";
}

// A failed connect: SQLCode -1, not connected, the driver's text naming
// `textPart`.
void expectConnectFails(Transaction& sqlca, const char* textPart) {
    sqlca.connect();
    EXPECT_EQ(sqlca.SQLCode, -1);
    EXPECT_FALSE(sqlca.isConnected());
    EXPECT_EQ(sqlca.connection(), nullptr);
    EXPECT_FALSE(sqlca.SQLErrText.empty());
    EXPECT_NE(sqlca.SQLErrText.find(textPart), std::string::npos) << sqlca.SQLErrText;
}

long countRows(const std::string& file) {
    Transaction reader;
    fill(reader, "SQLite", file);
    reader.AutoCommit = true;
    reader.connect();
    if (!reader.isConnected()) {
        return -1;
    }
    return static_cast<long>(
        dbQueryInteger(*reader.connection(), "SELECT count(*) FROM QLX_UPT").value_or(-1));
}

TEST(TransactionSqlite, ConnectsAndDisconnects) {
    SqliteFile db;
    ASSERT_TRUE(db.target);
    Transaction sqlca;
    fill(sqlca, "SQLite", db.target->serverName);
    EXPECT_FALSE(sqlca.isConnected());
    sqlca.connect();
    EXPECT_EQ(sqlca.SQLCode, 0) << sqlca.SQLErrText;
    EXPECT_TRUE(sqlca.isConnected());
    ASSERT_NE(sqlca.connection(), nullptr);
    EXPECT_EQ(dbQueryInteger(*sqlca.connection(), "SELECT count(*) FROM QLX_UPT3"), 0);
    sqlca.disconnect();
    EXPECT_EQ(sqlca.SQLCode, 0);
    EXPECT_FALSE(sqlca.isConnected());
    EXPECT_EQ(sqlca.connection(), nullptr);
    sqlca.disconnect();
    EXPECT_EQ(sqlca.SQLCode, -1) << "nothing to disconnect";
}

TEST(TransactionSqlite, TheUpdateDatabaseIsOnlyRead) {
    SqliteFile db;
    ASSERT_TRUE(db.target);
    Transaction sqlca;
    fill(sqlca, "SQLite", db.target->serverName);
    sqlca.connect();
    ASSERT_EQ(sqlca.SQLCode, 0) << sqlca.SQLErrText;
    EXPECT_FALSE(dbExecute(*sqlca.connection(), "INSERT INTO QLX_UPT (UPDATE_ID) VALUES ('x')"));
    EXPECT_NE(sqlca.connection()->lastError().find("readonly"), std::string::npos)
        << sqlca.connection()->lastError();
}

TEST(TransactionSqlite, FileIsRelativeToTheCurrentFolder) {
    SqliteFile db;
    ASSERT_TRUE(db.target);
    const std::filesystem::path previous = std::filesystem::current_path();
    const std::filesystem::path file(db.target->serverName);
    std::filesystem::current_path(file.parent_path());
    Transaction sqlca;
    fill(sqlca, "sqlite", file.filename().string());
    sqlca.connect();
    std::filesystem::current_path(previous);
    EXPECT_EQ(sqlca.SQLCode, 0) << sqlca.SQLErrText;
}

TEST(TransactionSqlite, RefusesWhatIsNoDatabase) {
    test::TempDir dir;
    const std::string missing = dir.filePath("missing.sqlite");
    const std::string notDb = dir.filePath("text.sqlite");
    ASSERT_TRUE(test::writeFile(notDb, std::string(4096, 'x')));
    struct Case {
        std::string dbms;
        std::string server;
        const char* textPart;
    };
    const Case cases[] = {
        {"SQLite", missing, "missing.sqlite"},
        {"SQLite", "", "does not exist"},
        {"SQLite", dir.path(), "does not exist"},
        {"SQLite", notDb, "not a database"},
        {"MSS Microsoft SQL Server", missing, "MSS Microsoft SQL Server"},
        {"", missing, "Unknown DBMS"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dbms + " " + c.server);
        Transaction sqlca;
        fill(sqlca, c.dbms, c.server);
        expectConnectFails(sqlca, c.textPart);
    }
    EXPECT_FALSE(test::fileExists(missing)) << "a failed connect must not create the file";
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
        fill(sqlca, "SQLite", db.target->serverName);
        sqlca.DBParm = c.dbParm;
        sqlca.AutoCommit = c.autoCommit;
        sqlca.Writable = true;
        sqlca.connect();
        ASSERT_EQ(sqlca.SQLCode, 0);
        ASSERT_TRUE(dbExecute(*sqlca.connection(), "INSERT INTO QLX_UPT (UPDATE_ID) VALUES ('x')"));
        sqlca.disconnect();
        EXPECT_EQ(sqlca.SQLCode, 0) << sqlca.SQLErrText;
        EXPECT_EQ(countRows(db.target->serverName), c.rowsAfter);
    }
}

TEST(TransactionSqlite, ReconnectsCleanlyAndKeepsConnectionsApart) {
    SqliteFile db;
    ASSERT_TRUE(db.target);
    Transaction first;
    Transaction second;
    fill(first, "SQLite", db.target->serverName);
    fill(second, "SQLite", db.target->serverName);
    first.connect();
    second.connect();
    ASSERT_EQ(first.SQLCode, 0);
    ASSERT_EQ(second.SQLCode, 0);
    EXPECT_NE(first.connection(), second.connection());
    first.connect();
    EXPECT_EQ(first.SQLCode, 0) << first.SQLErrText;
    EXPECT_TRUE(first.isConnected());
    EXPECT_EQ(dbQueryInteger(*first.connection(), "SELECT count(*) FROM QLX_UPT3"), 0);
    second.disconnect();
    EXPECT_TRUE(first.isConnected()) << "the other transaction is not affected";

    // A failed reconnect leaves no connection behind.
    first.ServerName = db.target->serverName + ".gone";
    first.connect();
    EXPECT_EQ(first.SQLCode, -1);
    EXPECT_FALSE(first.isConnected());
}

class TransactionServer : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        server = test::PostgresServer::fromEnvFile(&error);
        ASSERT_TRUE(server) << error;
    }
    std::optional<test::PostgresServer> server;
};

TEST_F(TransactionServer, PostgresLoginSucceedsWithTheRolePassword) {
    Transaction sqlca;
    fill(sqlca, "PostgreSQL", server->serverName(server->defaultDatabase()));
    sqlca.connect();
    ASSERT_EQ(sqlca.SQLCode, 0) << sqlca.SQLErrText;
    {
        const std::unique_ptr<DbStatement> q = sqlca.connection()->prepare("SELECT current_user");
        ASSERT_TRUE(q && q->execute() && q->next() == DbStep::Row);
        std::optional<std::string> user;
        ASSERT_TRUE(q->readText(0, user));
        EXPECT_EQ(user, "QUIL_UPT");
    }
    sqlca.disconnect();
    EXPECT_EQ(sqlca.SQLCode, 0);
}

TEST_F(TransactionServer, WrongLoginsFailWithTheServersText) {
    struct Case {
        const char* name;
        std::string dbms;
        std::string server;
        std::string password;
        const char* textPart;
    };
    const std::string pg = server->serverName(server->defaultDatabase());
    const Case cases[] = {
        {"pg password", "PGS", pg, "MWQRSB7364HUYTNF", "password authentication failed"},
        {"pg database", "PostgreSQL", server->serverName("nope"), server->rolePassword(), "nope"},
        {"odbc-pg password", "O10 Oracle10g (10.1.0)", "QLX_PG", "MWQRSB7364HUYTNF",
         "password authentication failed"},
        {"odbc no dsn", "O84 ORACLE 8.0.4", "QLX_NO_SUCH_DSN", server->rolePassword(), ""},
        {"pg bad port", "PostgreSQL", "127.0.0.1:x/db", server->rolePassword(),
         "host[:port][/database]"},
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
    std::string error;
    std::unique_ptr<test::UpdateTarget> target =
        test::UpdateTarget::make(test::TargetKind::Postgres, error);
    ASSERT_TRUE(target) << error;
    for (const bool rollback : {true, false}) {
        Transaction sqlca;
        fill(sqlca, target->dbms, target->serverName);
        sqlca.DBParm = rollback ? "CommitOnDisconnect='No'" : "";
        sqlca.connect();
        ASSERT_EQ(sqlca.SQLCode, 0) << sqlca.SQLErrText;
        ASSERT_TRUE(dbExecute(*sqlca.connection(), "INSERT INTO QLX_UPT (UPDATE_ID) VALUES ('r')"))
            << sqlca.connection()->lastError();
        sqlca.disconnect();
        EXPECT_EQ(dbQueryInteger(*target->writer, "SELECT count(*) FROM QLX_UPT"), rollback ? 0 : 1)
            << rollback;
    }
}

TEST_F(TransactionServer, OdbcConnectionStringReachesPostgres) {
    Transaction sqlca;
    fill(sqlca, "ODBC",
         "DRIVER={QLX PostgreSQL};Servername=" + server->host() +
             ";Port=" + std::to_string(server->port()) + ";Database=" + server->defaultDatabase());
    sqlca.connect();
    EXPECT_EQ(sqlca.SQLCode, 0) << sqlca.SQLErrText;
    EXPECT_TRUE(sqlca.isConnected());
}

} // namespace

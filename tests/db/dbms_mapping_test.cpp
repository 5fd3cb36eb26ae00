#include "db/dbms_mapping.h"
#include "db/odbc_connection_string.h"

#include <gtest/gtest.h>

namespace {

using namespace qlx;

TEST(DbmsKind, FirstWordPicksTheDriver) {
    struct Case {
        const char* dbms;
        std::optional<DbmsKind> kind;
    };
    const Case cases[] = {
        {"O10 Oracle10g (10.1.0)", DbmsKind::Oracle},
        {"O84 ORACLE 8.0.4", DbmsKind::Oracle},
        {"o90", DbmsKind::Oracle},
        {"ORA", DbmsKind::Oracle},
        {"oracle 19", DbmsKind::Oracle},
        {"  ODBC  ", DbmsKind::Odbc},
        {"PostgreSQL 15", DbmsKind::PostgreSql},
        {"pgs", DbmsKind::PostgreSql},
        {"SQLite", DbmsKind::Sqlite},
        {"O", std::nullopt},
        {"O1x", std::nullopt},
        {"ORACLE10", std::nullopt},
        {"OLE", std::nullopt},
        {"SQLite3", std::nullopt},
        {"", std::nullopt},
        {"MSS Microsoft SQL Server", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dbmsKindOf(c.dbms), c.kind) << c.dbms;
    }
}

TEST(DbParm, ReadsQuotedItems) {
    struct Case {
        const char* parm;
        const char* name;
        std::optional<std::string> value;
    };
    const Case cases[] = {
        {"CommitOnDisconnect='No'", "CommitOnDisconnect", std::string("No")},
        {"commitondisconnect = 'no'", "CommitOnDisconnect", std::string("no")},
        {"A='x,y', CommitOnDisconnect='Yes'", "CommitOnDisconnect", std::string("Yes")},
        {"A='x,y', B=plain", "B", std::string("plain")},
        {"A='1'", "CommitOnDisconnect", std::nullopt},
        {"", "CommitOnDisconnect", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dbParmValue(c.parm, c.name), c.value) << c.parm;
    }
}

TEST(PostgresServerName, HostPortAndDatabase) {
    const auto full = parsePostgresServer("db.example:5433/updates");
    ASSERT_TRUE(full);
    EXPECT_EQ(full->host, std::string("db.example"));
    EXPECT_EQ(full->port, 5433);
    EXPECT_EQ(full->database, std::string("updates"));

    const auto hostOnly = parsePostgresServer("127.0.0.1");
    ASSERT_TRUE(hostOnly);
    EXPECT_EQ(hostOnly->host, std::string("127.0.0.1"));
    EXPECT_FALSE(hostOnly->port);
    EXPECT_TRUE(hostOnly->database.empty());

    const auto hostDb = parsePostgresServer("h/d");
    ASSERT_TRUE(hostDb);
    EXPECT_EQ(hostDb->database, std::string("d"));
    EXPECT_FALSE(hostDb->port);

    EXPECT_FALSE(parsePostgresServer("h:port/d"));
    EXPECT_FALSE(parsePostgresServer("h:70000"));
}

// A value that could end its attribute or start another goes in braces.
TEST(OdbcConnectionString, QuotesWhatWouldBreakIt) {
    EXPECT_EQ(odbcAttributeValue("KOLVEX4923TRA"), "KOLVEX4923TRA");
    EXPECT_EQ(odbcAttributeValue("a;UID=x"), "{a;UID=x}");
    EXPECT_EQ(odbcAttributeValue("x}y{"), "{x}}y{}");
    EXPECT_EQ(odbcAttributeValue(" pad"), "{ pad}");
    EXPECT_EQ(odbcConnectionString("QLX_PG", "QUIL_UPT", "p;w"),
              "DSN=QLX_PG;UID=QUIL_UPT;PWD={p;w}");
    EXPECT_EQ(odbcConnectionString("DRIVER={X};Database=d;", "", ""), "DRIVER={X};Database=d");
}

} // namespace

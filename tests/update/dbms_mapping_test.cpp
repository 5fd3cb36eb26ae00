#include "update/dbms_mapping.h"

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
        EXPECT_EQ(dbmsKindOf(QString::fromLatin1(c.dbms)), c.kind) << c.dbms;
    }
}

TEST(DbParm, ReadsQuotedItems) {
    struct Case {
        const char* parm;
        const char* name;
        std::optional<QString> value;
    };
    const Case cases[] = {
        {"CommitOnDisconnect='No'", "CommitOnDisconnect", QStringLiteral("No")},
        {"commitondisconnect = 'no'", "CommitOnDisconnect", QStringLiteral("no")},
        {"A='x,y', CommitOnDisconnect='Yes'", "CommitOnDisconnect", QStringLiteral("Yes")},
        {"A='x,y', B=plain", "B", QStringLiteral("plain")},
        {"A='1'", "CommitOnDisconnect", std::nullopt},
        {"", "CommitOnDisconnect", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dbParmValue(QString::fromLatin1(c.parm), QString::fromLatin1(c.name)), c.value)
            << c.parm;
    }
}

TEST(PostgresServerName, HostPortAndDatabase) {
    const auto full = parsePostgresServer(QStringLiteral("db.example:5433/updates"));
    ASSERT_TRUE(full);
    EXPECT_EQ(full->host, QStringLiteral("db.example"));
    EXPECT_EQ(full->port, 5433);
    EXPECT_EQ(full->database, QStringLiteral("updates"));

    const auto hostOnly = parsePostgresServer(QStringLiteral("127.0.0.1"));
    ASSERT_TRUE(hostOnly);
    EXPECT_EQ(hostOnly->host, QStringLiteral("127.0.0.1"));
    EXPECT_FALSE(hostOnly->port);
    EXPECT_TRUE(hostOnly->database.isEmpty());

    const auto hostDb = parsePostgresServer(QStringLiteral("h/d"));
    ASSERT_TRUE(hostDb);
    EXPECT_EQ(hostDb->database, QStringLiteral("d"));
    EXPECT_FALSE(hostDb->port);

    EXPECT_FALSE(parsePostgresServer(QStringLiteral("h:port/d")));
    EXPECT_FALSE(parsePostgresServer(QStringLiteral("h:70000")));
}

} // namespace

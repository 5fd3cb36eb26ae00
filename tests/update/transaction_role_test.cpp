// The login role's password changes under the updater: the first password
// stops working and the second one connects. Holds the lock postgres_role.

#include "support/postgres_server.h"
#include "update/transaction.h"

#include <gtest/gtest.h>

namespace {

using namespace qlx;

TEST(TransactionRole, FollowsAChangedRolePassword) {
    QString error;
    const auto server = test::PostgresServer::fromEnvFile(&error);
    ASSERT_TRUE(server) << error.toStdString();
    const QString second = QStringLiteral("MWQRSB7364HUYTNF");
    ASSERT_TRUE(server->setRolePassword(second));

    Transaction sqlca;
    sqlca.DBMS = QStringLiteral("PostgreSQL");
    sqlca.ServerName = server->serverName(server->defaultDatabase());
    sqlca.LogId = server->role();
    sqlca.LogPass = server->rolePassword();
    sqlca.connect();
    const long firstCode = sqlca.SQLCode.value_or(0);
    const QString firstText = sqlca.SQLErrText;
    sqlca.LogPass = second;
    sqlca.connect();
    const long secondCode = sqlca.SQLCode.value_or(0);

    ASSERT_TRUE(server->setRolePassword(server->rolePassword()));
    EXPECT_EQ(firstCode, -1);
    EXPECT_TRUE(firstText.contains(QLatin1String("password authentication failed")))
        << firstText.toStdString();
    EXPECT_EQ(secondCode, 0);
}

} // namespace

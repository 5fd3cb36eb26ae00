// The login role's password changes under the updater: the first password
// stops working and the second one connects. Holds the lock postgres_role.

#include "db/transaction.h"
#include "support/postgres_server.h"

#include <gtest/gtest.h>

namespace {

using namespace qlx;

class TransactionRole : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        server = test::PostgresServer::fromEnvFile(&error);
        ASSERT_TRUE(server) << error;
    }
    void TearDown() override {
        if (server) {
            EXPECT_TRUE(server->setRolePassword(server->rolePassword()));
        }
    }
    // SQLCode and SQLErrText of a PostgreSQL login as the role with `password`.
    std::pair<long, std::string> login(const std::string& password) const {
        Transaction sqlca;
        sqlca.DBMS = "PostgreSQL";
        sqlca.ServerName = server->serverName(server->defaultDatabase());
        sqlca.LogId = server->role();
        sqlca.LogPass = password;
        sqlca.connect();
        return {sqlca.SQLCode.value_or(0), sqlca.SQLErrText};
    }
    std::optional<test::PostgresServer> server;
};

TEST_F(TransactionRole, FollowsAChangedRolePassword) {
    const std::string second = "MWQRSB7364HUYTNF";
    ASSERT_TRUE(server->setRolePassword(second));
    const auto [firstCode, firstText] = login(server->rolePassword());
    const auto [secondCode, secondText] = login(second);
    EXPECT_EQ(firstCode, -1);
    EXPECT_NE(firstText.find("password authentication failed"), std::string::npos) << firstText;
    EXPECT_EQ(secondCode, 0) << secondText;
}

// The password travels inside the driver's connection string, where ";", "{"
// and "}" mean something: it must reach the server as it is.
TEST_F(TransactionRole, PasswordsWithConnectionStringSyntaxLogIn) {
    for (const std::string password : {"a;UID=postgres", "{brace}}", " b}c;{ ", "한글;암호"}) {
        SCOPED_TRACE(password);
        ASSERT_TRUE(server->setRolePassword(password));
        const auto [code, text] = login(password);
        EXPECT_EQ(code, 0) << text;
        const auto [wrongCode, wrongText] = login(password + "x");
        EXPECT_EQ(wrongCode, -1);
        EXPECT_NE(wrongText.find("password authentication failed"), std::string::npos) << wrongText;
    }
}

} // namespace

// The updaters as processes against the throw-away PostgreSQL server: the
// current one directly, the legacy one through its fixed interface, which
// reaches PostgreSQL over an ODBC data source here.
#include "support/packages.h"
#include "support/postgres_server.h"
#include "support/test_files.h"
#include "support/update_targets.h"
#include "support/updater_run.h"
#include "tools/package_store.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <string>
#include <vector>

namespace qlx {
namespace {

const std::string kSecondPassword = "MWQRSB7364HUYTNF";

class UpdaterPostgres : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        server = test::PostgresServer::fromEnvFile(&error);
        ASSERT_TRUE(server.has_value()) << error;
        server->useOdbcFiles();
        run.installStandInClient();
    }
    void TearDown() override {
        if (server) {
            EXPECT_TRUE(server->setRolePassword(server->rolePassword()));
        }
    }

    std::unique_ptr<test::UpdateTarget> target(test::TargetKind kind, const std::string& table) {
        std::string error;
        auto t = test::UpdateTarget::make(kind, error);
        EXPECT_NE(t, nullptr) << error;
        if (t) {
            EXPECT_TRUE(publish::insertBuildPackage(
                *t->writer, table, {"main", "bin", 12, test::makePackage({{"quillon.dat", "v12"}})},
                error))
                << error;
        }
        return t;
    }

    void writeSettings(const std::string& dbms) {
        ASSERT_TRUE(test::writeFile(run.path("quil.psr"),
                                    R"({"rows":[{"CODE":"DataBase-DBMS","VALUE":")" + dbms +
                                        R"("},{"CODE":"QL_UPT_TIME","VALUE":""}]})"));
    }

    std::string stamp() const { return test::settingIn(run.path("quil.psr"), "QL_UPT_TIME"); }

    int runCurrent(const test::UpdateTarget& t) {
        writeSettings(t.dbms);
        return run.run("qlx_upt", "/PID=1;/PSR=quil.psr;/SERVER=" + t.serverName + ";/BUILDNO=12;");
    }
    int runLegacy(const test::UpdateTarget& t) {
        // The settings name SQLite: the legacy updater must not care.
        writeSettings("SQLite");
        return run.run("qlx_upt3", "/PSR=quil.psr;/SERVER=" + t.serverName + ";/BUILDNO=12;");
    }

    std::optional<test::PostgresServer> server;
    test::UpdaterRun run;
};

TEST_F(UpdaterPostgres, CurrentUpdaterInstallsAndRelaunches) {
    auto t = target(test::TargetKind::Postgres, "QLX_UPT3");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(runCurrent(*t), 0);
    EXPECT_TRUE(run.boxes().empty());
    EXPECT_EQ(test::readFile(run.path("bin/quillon.dat")), "v12");
    EXPECT_TRUE(test::fileExists(run.path("upt/main.zip")));
    EXPECT_EQ(stamp(), "");
    const auto arguments = run.clientArguments();
    ASSERT_TRUE(arguments.has_value());
    EXPECT_EQ(*arguments, std::vector<std::string>{"quil.psr"});
}

TEST_F(UpdaterPostgres, RoleThatTakesOnlyTheSecondPasswordStillUpdates) {
    auto t = target(test::TargetKind::Postgres, "QLX_UPT3");
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(server->setRolePassword(kSecondPassword));
    EXPECT_EQ(runCurrent(*t), 0);
    EXPECT_TRUE(run.boxes().empty());
    EXPECT_EQ(test::readFile(run.path("bin/quillon.dat")), "v12");
    EXPECT_EQ(stamp(), "");
    EXPECT_TRUE(run.clientArguments().has_value());
}

TEST_F(UpdaterPostgres, NeitherPasswordStampsTheSettingsAndDoesNotRelaunch) {
    auto t = target(test::TargetKind::Postgres, "QLX_UPT3");
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(server->setRolePassword("something else"));
    EXPECT_EQ(runCurrent(*t), 2);
    const auto boxes = run.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].title, "Err!");
    EXPECT_TRUE(boxes[0].text.starts_with("-1/")) << boxes[0].text;
    EXPECT_NE(boxes[0].text.find("password"), std::string::npos) << boxes[0].text;
    EXPECT_EQ(boxes[1].title, "에러!");
    EXPECT_EQ(boxes[1].text, "홈페이지에서 직접 업그레이드 하세요.");
    const std::string minutes = stamp();
    std::int64_t value = 0;
    const auto parsed = std::from_chars(minutes.data(), minutes.data() + minutes.size(), value);
    EXPECT_TRUE(parsed.ec == std::errc() && parsed.ptr == minutes.data() + minutes.size())
        << minutes;
    EXPECT_GT(value, 0);
    EXPECT_FALSE(test::fileExists(run.path("bin/quillon.dat")));
    EXPECT_FALSE(run.clientArguments(300).has_value());
}

TEST_F(UpdaterPostgres, LegacyUpdaterReachesPostgresThroughItsFixedInterface) {
    auto t = target(test::TargetKind::OracleViaOdbcPostgresDsn, "QLX_UPT2");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(runLegacy(*t), 0);
    EXPECT_TRUE(run.boxes().empty());
    EXPECT_EQ(test::readFile(run.path("bin/quillon.dat")), "v12");
    EXPECT_TRUE(run.clientArguments().has_value());
}

TEST_F(UpdaterPostgres, LegacyUpdaterHasNoSecondPassword) {
    auto t = target(test::TargetKind::OracleViaOdbcPostgresDsn, "QLX_UPT2");
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(server->setRolePassword(kSecondPassword));
    EXPECT_EQ(runLegacy(*t), 2);
    const auto boxes = run.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].title, "Err!");
    EXPECT_EQ(boxes[1].text, "홈페이지에서 직접 업그레이드 하세요.");
    EXPECT_FALSE(test::fileExists(run.path("bin/quillon.dat")));
    EXPECT_FALSE(run.clientArguments(300).has_value());
}

} // namespace
} // namespace qlx

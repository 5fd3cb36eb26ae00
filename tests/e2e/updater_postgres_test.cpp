// The updaters as processes against the throw-away PostgreSQL server: the
// current one directly, the legacy one through its fixed interface, which
// reaches PostgreSQL over an ODBC data source here.
#include "support/packages.h"
#include "support/postgres_server.h"
#include "support/update_targets.h"
#include "support/updater_run.h"
#include "tools/package_store.h"

#include <QFile>

#include <gtest/gtest.h>

namespace qlx {
namespace {

const QString kSecondPassword = QStringLiteral("MWQRSB7364HUYTNF");

class UpdaterPostgres : public ::testing::Test {
protected:
    void SetUp() override {
        QString error;
        server = test::PostgresServer::fromEnvFile(&error);
        ASSERT_TRUE(server.has_value()) << error.toStdString();
        server->useOdbcFiles();
        run.installStandInClient();
    }
    void TearDown() override {
        if (server) {
            EXPECT_TRUE(server->setRolePassword(server->rolePassword()));
        }
    }

    std::unique_ptr<test::UpdateTarget> target(test::TargetKind kind, const QString& table) {
        QString error;
        auto t = test::UpdateTarget::make(kind, error);
        EXPECT_NE(t, nullptr) << error.toStdString();
        if (t) {
            EXPECT_TRUE(
                publish::insertBuildPackage(t->writer, table,
                                            {QStringLiteral("main"), QStringLiteral("bin"), 12,
                                             test::makePackage({{"quillon.dat", "v12"}})},
                                            error))
                << error.toStdString();
        }
        return t;
    }

    void writeSettings(const QString& dbms) {
        QFile psr(run.path(QStringLiteral("quil.psr")));
        ASSERT_TRUE(psr.open(QIODevice::WriteOnly));
        psr.write(QStringLiteral(R"({"rows":[{"CODE":"DataBase-DBMS","VALUE":"%1"},)"
                                 R"({"CODE":"QL_UPT_TIME","VALUE":""}]})")
                      .arg(dbms)
                      .toUtf8());
    }

    QString stamp() const {
        return test::settingIn(run.path(QStringLiteral("quil.psr")), QStringLiteral("QL_UPT_TIME"));
    }

    int runCurrent(const test::UpdateTarget& t) {
        writeSettings(t.dbms);
        return run.run(QStringLiteral("qlx_upt"), QStringLiteral("/PID=1;/PSR=quil.psr;/SERVER=") +
                                                      t.serverName +
                                                      QStringLiteral(";/BUILDNO=12;"));
    }
    int runLegacy(const test::UpdateTarget& t) {
        // The settings name SQLite: the legacy updater must not care.
        writeSettings(QStringLiteral("SQLite"));
        return run.run(QStringLiteral("qlx_upt3"), QStringLiteral("/PSR=quil.psr;/SERVER=") +
                                                       t.serverName +
                                                       QStringLiteral(";/BUILDNO=12;"));
    }

    std::optional<test::PostgresServer> server;
    test::UpdaterRun run;
};

TEST_F(UpdaterPostgres, CurrentUpdaterInstallsAndRelaunches) {
    auto t = target(test::TargetKind::Postgres, QStringLiteral("QLX_UPT3"));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(runCurrent(*t), 0);
    EXPECT_TRUE(run.boxes().empty());
    EXPECT_EQ(test::readFile(run.path(QStringLiteral("bin/quillon.dat"))), "v12");
    EXPECT_TRUE(QFile::exists(run.path(QStringLiteral("upt/main.zip"))));
    EXPECT_EQ(stamp(), QString());
    const auto arguments = run.clientArguments();
    ASSERT_TRUE(arguments.has_value());
    EXPECT_EQ(*arguments, QStringList{QStringLiteral("quil.psr")});
}

TEST_F(UpdaterPostgres, RoleThatTakesOnlyTheSecondPasswordStillUpdates) {
    auto t = target(test::TargetKind::Postgres, QStringLiteral("QLX_UPT3"));
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(server->setRolePassword(kSecondPassword));
    EXPECT_EQ(runCurrent(*t), 0);
    EXPECT_TRUE(run.boxes().empty());
    EXPECT_EQ(test::readFile(run.path(QStringLiteral("bin/quillon.dat"))), "v12");
    EXPECT_EQ(stamp(), QString());
    EXPECT_TRUE(run.clientArguments().has_value());
}

TEST_F(UpdaterPostgres, NeitherPasswordStampsTheSettingsAndDoesNotRelaunch) {
    auto t = target(test::TargetKind::Postgres, QStringLiteral("QLX_UPT3"));
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(server->setRolePassword(QStringLiteral("something else")));
    EXPECT_EQ(runCurrent(*t), 0);
    const auto boxes = run.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].title, QStringLiteral("Err!"));
    EXPECT_TRUE(boxes[0].text.startsWith(QStringLiteral("-1/"))) << boxes[0].text.toStdString();
    EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("password"))) << boxes[0].text.toStdString();
    EXPECT_EQ(boxes[1].title, QStringLiteral("에러!"));
    EXPECT_EQ(boxes[1].text, QStringLiteral("홈페이지에서 직접 업그레이드 하세요."));
    bool numeric = false;
    EXPECT_GT(stamp().toLongLong(&numeric), 0);
    EXPECT_TRUE(numeric);
    EXPECT_FALSE(QFile::exists(run.path(QStringLiteral("bin/quillon.dat"))));
    EXPECT_FALSE(run.clientArguments(300).has_value());
}

TEST_F(UpdaterPostgres, LegacyUpdaterReachesPostgresThroughItsFixedInterface) {
    auto t = target(test::TargetKind::OracleViaOdbcPostgresDsn, QStringLiteral("QLX_UPT2"));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(runLegacy(*t), 0);
    EXPECT_TRUE(run.boxes().empty());
    EXPECT_EQ(test::readFile(run.path(QStringLiteral("bin/quillon.dat"))), "v12");
    EXPECT_TRUE(run.clientArguments().has_value());
}

TEST_F(UpdaterPostgres, LegacyUpdaterHasNoSecondPassword) {
    auto t = target(test::TargetKind::OracleViaOdbcPostgresDsn, QStringLiteral("QLX_UPT2"));
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(server->setRolePassword(kSecondPassword));
    EXPECT_EQ(runLegacy(*t), 0);
    const auto boxes = run.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].title, QStringLiteral("Err!"));
    EXPECT_EQ(boxes[1].text, QStringLiteral("홈페이지에서 직접 업그레이드 하세요."));
    EXPECT_FALSE(QFile::exists(run.path(QStringLiteral("bin/quillon.dat"))));
    EXPECT_FALSE(run.clientArguments(300).has_value());
}

} // namespace
} // namespace qlx

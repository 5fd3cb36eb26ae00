// The updater against a PostgreSQL server whose every connection is taken, as
// when a whole office starts its updaters at once: a server of its own with
// three connections, all held by other clients for a while.
#include "support/packages.h"
#include "support/postgres_server.h"
#include "support/test_files.h"
#include "support/updater_run.h"
#include "tools/package_store.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace qlx {
namespace {

constexpr int kHoldSeconds = 6;

class BusyServer : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string script = std::string(QLX_SOURCE_DIR) + "/tests/fixtures/postgres.sh";
        control = "bash " + test::shellQuoted(script) + " %s " + test::shellQuoted(servers.path());
        ASSERT_EQ(
            std::system(("QLX_PG_MAX_CONNECTIONS=3 " + command("start") + " >/dev/null").c_str()),
            0);
        ::setenv("QLX_TEST_SERVERS_DIR", servers.path().c_str(), 1);
        std::string error;
        server = test::PostgresServer::fromEnvFile(&error);
        ASSERT_TRUE(server) << error;
        server->useOdbcFiles();
        database = server->createDatabase(&error);
        ASSERT_FALSE(database.empty()) << error;
        auto writer = server->asRole(database, error);
        ASSERT_TRUE(writer) << error;
        ASSERT_TRUE(publish::insertBuildPackage(
            *writer, "QLX_UPT3", {"main", "bin", 12, test::makePackage({{"quillon.dat", "v12"}})},
            error))
            << error;
    }
    void TearDown() override { (void)std::system((command("stop") + " >/dev/null").c_str()); }

    std::string command(const char* action) const {
        std::string text = control;
        return text.replace(text.find("%s"), 2, action);
    }

    // Other clients take every connection for kHoldSeconds; true once a
    // further connection is refused.
    bool fillServer() const {
        const std::string psql = "PGPASSWORD=" + server->rolePassword() +
                                 " psql -X -q -h 127.0.0.1 -p " + std::to_string(server->port()) +
                                 " -U " + server->role() + " -d " + database +
                                 " -c 'SELECT pg_sleep(" + std::to_string(kHoldSeconds) + ")'";
        for (int i = 0; i < 3; ++i) {
            if (std::system(("(" + psql + " >/dev/null 2>&1 &)").c_str()) != 0) {
                return false;
            }
        }
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string error;
            if (!server->asRole(database, error) &&
                error.find("too many clients") != std::string::npos) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    test::TempDir servers;
    std::string control;
    std::optional<test::PostgresServer> server;
    std::string database;
    test::UpdaterRun run;
};

TEST_F(BusyServer, AFullServerIsWaitedForAndTheUpdateGoesThrough) {
    run.installStandInClient();
    ASSERT_TRUE(test::writeFile(run.path("quil.psr"),
                                R"({"rows":[{"CODE":"DataBase-DBMS","VALUE":"PostgreSQL"}]})"));
    ASSERT_TRUE(fillServer());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run.run("qlx_upt", "/PID=1;/PSR=quil.psr;/SERVER=" + server->serverName(database) +
                                     ";/BUILDNO=12;"),
              0);
    EXPECT_TRUE(run.boxes().empty()) << run.boxes().front().title << run.boxes().front().text;
    EXPECT_EQ(test::readFile(run.path("bin/quillon.dat")), "v12");
    EXPECT_TRUE(run.clientArguments().has_value());
    // It got in only once the other clients had left.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(kHoldSeconds - 1));
}

} // namespace
} // namespace qlx

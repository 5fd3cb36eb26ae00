// The updater against a PostgreSQL server whose every connection is taken, as
// when a whole office starts its updaters at once: a server of its own with
// three connections, all held by other clients for a while.
#include "support/packages.h"
#include "support/postgres_server.h"
#include "support/test_files.h"
#include "support/updater_run.h"
#include "tools/package_store.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace qlx {
namespace {

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
        std::istringstream env(test::readFile(servers.filePath("postgres.env")));
        for (std::string line; std::getline(env, line);) {
            if (line.rfind("QLX_PG_DIR=", 0) == 0) {
                serverDir = line.substr(line.find('=') + 1);
            }
        }
        database = server->createDatabase(&error);
        ASSERT_FALSE(database.empty()) << error;
        auto writer = server->asRole(database, error);
        ASSERT_TRUE(writer) << error;
        ASSERT_TRUE(publish::insertBuildPackage(
            *writer, "QLX_UPT3", {"main", "bin", 12, test::makePackage({{"quillon.dat", "v12"}})},
            error))
            << error;
    }
    void TearDown() override {
        release();
        (void)std::system((command("stop") + " >/dev/null").c_str());
    }

    std::string command(const char* action) const {
        std::string text = control;
        return text.replace(text.find("%s"), 2, action);
    }

    // Another client, holding a connection of its own until it is killed;
    // its session notices the kill within a tenth of a second.
    pid_t startHolder() {
        const std::string psql =
            "PGPASSWORD=" + server->rolePassword() + " psql -X -q -h 127.0.0.1 -p " +
            std::to_string(server->port()) + " -U " + server->role() + " -d " + database +
            " -c 'SET client_connection_check_interval = 100' -c 'SELECT pg_sleep(600)'";
        const std::string pidFile = servers.filePath("holder");
        if (std::system((psql + " >/dev/null 2>&1 & echo $! >" + pidFile).c_str()) != 0) {
            return 0;
        }
        pid_t pid = 0;
        std::istringstream(test::readFile(pidFile)) >> pid;
        return pid;
    }
    // Neither gone nor a zombie left unreaped.
    static bool running(pid_t pid) {
        const std::string stat = test::readFile("/proc/" + std::to_string(pid) + "/stat");
        const std::size_t end = stat.rfind(')');
        return end != std::string::npos && end + 2 < stat.size() && stat[end + 2] != 'Z';
    }
    // Other clients take every connection until release(); true once a
    // further connection is refused. A client that was itself turned away
    // (a slot the set-up had not given back yet) is started again.
    bool fillServer() {
        for (int attempt = 0; attempt < 600; ++attempt) {
            for (pid_t& holder : holders) {
                if (holder <= 0 || !running(holder)) {
                    holder = startHolder();
                }
            }
            std::string error;
            if (!server->asRole(database, error) &&
                error.find("too many clients") != std::string::npos) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    void release() {
        for (const pid_t pid : holders) {
            if (pid > 0) {
                ::kill(pid, SIGTERM);
            }
        }
    }
    // How often the server has refused a client for want of a connection.
    std::size_t refusals() const {
        const std::string log = test::readFile(serverDir + "/server.log");
        std::size_t count = 0;
        for (auto at = log.find("too many clients"); at != std::string::npos;
             at = log.find("too many clients", at + 1)) {
            ++count;
        }
        return count;
    }

    test::TempDir servers;
    std::string control;
    std::string serverDir;
    std::array<pid_t, 3> holders{};
    std::optional<test::PostgresServer> server;
    std::string database;
    test::UpdaterRun run;
};

TEST_F(BusyServer, AFullServerIsWaitedForAndTheUpdateGoesThrough) {
    run.installStandInClient();
    ASSERT_TRUE(test::writeFile(run.path("quil.psr"),
                                R"({"rows":[{"CODE":"DataBase-DBMS","VALUE":"PostgreSQL"}]})"));
    ASSERT_TRUE(fillServer());
    // The other clients leave once the server has turned the updater away.
    const std::size_t before = refusals();
    std::atomic<bool> refused = false;
    std::thread leave([&] {
        for (int i = 0; i < 1200 && !refused; ++i) {
            refused = refusals() > before;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        release();
    });
    const int status =
        run.run("qlx_upt",
                "/PID=1;/PSR=quil.psr;/SERVER=" + server->serverName(database) + ";/BUILDNO=12;");
    leave.join();
    EXPECT_TRUE(refused) << "the server never turned the updater away";
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(run.boxes().empty()) << run.boxes().front().title << run.boxes().front().text;
    EXPECT_EQ(test::readFile(run.path("bin/quillon.dat")), "v12");
    EXPECT_TRUE(run.clientArguments().has_value());
}

} // namespace
} // namespace qlx

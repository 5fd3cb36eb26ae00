#include "support/postgres_server.h"

#include "db/dbms_mapping.h"
#include "db/odbc_connection.h"
#include "db/odbc_connection_string.h"
#include "tools/package_store.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>

#ifndef QLX_TEST_SERVERS_DIR
#error "QLX_TEST_SERVERS_DIR must name the fixture's folder"
#endif

namespace qlx::test {

namespace {

// A name no other test process picks: a random part and a per-process count.
std::string uniqueName(const char* prefix) {
    static std::atomic<int> counter{0};
    static const unsigned long long random = [] {
        std::random_device device;
        return (static_cast<unsigned long long>(device()) << 32) ^ device();
    }();
    return prefix + std::to_string(random % 1000000007ULL) + "_" + std::to_string(++counter);
}

void setEnvironment(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

std::unique_ptr<DbConnection> connectTo(const std::string& host, int port,
                                        const std::string& database, const std::string& user,
                                        const std::string& password, std::string& error) {
    const qlx::PostgresServer server{host, port, database};
    return openOdbcConnection(postgresConnectionString(server, user, password), error);
}

} // namespace

std::optional<PostgresServer> PostgresServer::fromEnvFile(std::string* error) {
    const char* fromEnvironment = std::getenv("QLX_TEST_SERVERS_DIR");
    const std::string dir = fromEnvironment != nullptr && *fromEnvironment != '\0'
                                ? std::string(fromEnvironment)
                                : std::string(QLX_TEST_SERVERS_DIR);
    const std::string path = dir + "/postgres.env";
    std::ifstream file(path);
    if (!file) {
        if (error != nullptr) {
            *error = "no " + path + ": run the test through ctest (fixture postgres)";
        }
        return std::nullopt;
    }
    std::map<std::string, std::string> values;
    for (std::string line; std::getline(file, line);) {
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos && eq > 0) {
            values[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    PostgresServer server;
    server.host_ = values["QLX_PG_HOST"];
    server.port_ = std::atoi(values["QLX_PG_PORT"].c_str());
    server.superuser_ = values["QLX_PG_SUPERUSER"];
    server.superPassword_ = values["QLX_PG_SUPERPASSWORD"];
    server.database_ = values["QLX_PG_DATABASE"];
    server.role_ = values["QLX_PG_ROLE"];
    server.rolePassword_ = values["QLX_PG_ROLE_PASSWORD"];
    server.odbcSysIni_ = values["QLX_ODBCSYSINI"];
    server.odbcIni_ = values["QLX_ODBCINI"];
    if (server.port_ == 0 || server.host_.empty()) {
        if (error != nullptr) {
            *error = path + " lacks QLX_PG_HOST or QLX_PG_PORT";
        }
        return std::nullopt;
    }
    server.useOdbcFiles();
    return server;
}

std::string PostgresServer::serverName(const std::string& database) const {
    return host_ + ":" + std::to_string(port_) + "/" + database;
}

std::unique_ptr<DbConnection> PostgresServer::superuser(const std::string& database,
                                                        std::string& error) const {
    return connectTo(host_, port_, database, superuser_, superPassword_, error);
}

std::unique_ptr<DbConnection> PostgresServer::asRole(const std::string& database,
                                                     std::string& error) const {
    return connectTo(host_, port_, database, role_, rolePassword_, error);
}

std::string PostgresServer::createDatabase(std::string* error) const {
    const std::string name = uniqueName("qlx_test_");
    std::string text;
    auto fail = [&] {
        if (error != nullptr) {
            *error = text;
        }
        return std::string();
    };
    {
        const std::unique_ptr<DbConnection> admin = superuser("postgres", text);
        if (!admin) {
            return fail();
        }
        if (!dbExecute(*admin, "CREATE DATABASE " + name + " OWNER \"" + role_ + "\"")) {
            text = admin->lastError();
            return fail();
        }
    }
    // The tables belong to the role, as on the update server.
    const std::unique_ptr<DbConnection> owner = asRole(name, text);
    if (!owner || !publish::createSchema(*owner, text)) {
        return fail();
    }
    return name;
}

bool PostgresServer::dropDatabase(const std::string& database) const {
    std::string error;
    const std::unique_ptr<DbConnection> admin = superuser("postgres", error);
    return admin && dbExecute(*admin, "DROP DATABASE IF EXISTS " + database + " WITH (FORCE)");
}

bool PostgresServer::setRolePassword(const std::string& password) const {
    std::string error;
    const std::unique_ptr<DbConnection> admin = superuser("postgres", error);
    if (!admin) {
        return false;
    }
    // ALTER ROLE takes no bound password; the literal is quoted here.
    std::string quoted;
    for (const char c : password) {
        quoted += c == '\'' ? std::string("''") : std::string(1, c);
    }
    return dbExecute(*admin, "ALTER ROLE \"" + role_ + "\" PASSWORD '" + quoted + "'");
}

void PostgresServer::useOdbcFiles() const {
    setEnvironment("ODBCSYSINI", odbcSysIni_);
    setEnvironment("ODBCINI", odbcIni_);
}

} // namespace qlx::test

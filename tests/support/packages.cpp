#include "support/packages.h"

#include "db/db_connection.h"
#include "db/sqlite_connection.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <nlohmann/json.hpp>

namespace qlx::test {

namespace {

void run(const std::string& database, const std::string& statement,
         const std::vector<DbParam>& values) {
    std::string error;
    const std::unique_ptr<SqliteConnection> db =
        SqliteConnection::open(database, SqliteOpen::Create, error);
    if (!db) {
        ADD_FAILURE() << database << ": " << error;
        return;
    }
    if (!dbExecute(*db, statement, values)) {
        ADD_FAILURE() << statement << ": " << db->lastError();
    }
}

DbParam blob(const qlx::Bytes& package, bool null) {
    if (null) {
        return DbNull{};
    }
    return DbBytes{package.data(), package.size()};
}

} // namespace

qlx::Bytes makePackage(const std::map<std::string, std::string>& files) {
    TempDir dir;
    const std::string content = dir.filePath("content");
    for (const auto& [name, data] : files) {
        if (!writeFile(content + "/" + name, data)) {
            ADD_FAILURE() << "cannot write package content " << name;
            return {};
        }
    }
    const std::string zip = dir.filePath("p.zip");
    const std::string command =
        "cd " + shellQuoted(content) + " && /usr/bin/zip -q -r " + shellQuoted(zip) + " .";
    if (std::system(command.c_str()) != 0) {
        ADD_FAILURE() << "zip failed: " << command;
        return {};
    }
    const std::string bytes = readFile(zip);
    return qlx::Bytes(bytes.begin(), bytes.end());
}

std::string settingIn(const std::string& psr, const std::string& code) {
    const nlohmann::json doc = nlohmann::json::parse(readFile(psr), nullptr, false);
    if (doc.is_object() && doc.contains("rows") && doc["rows"].is_array()) {
        for (const auto& row : doc["rows"]) {
            if (row.is_object() && row.value("CODE", nlohmann::json()) == code) {
                const nlohmann::json value = row.value("VALUE", nlohmann::json());
                return value.is_string() ? value.get<std::string>() : std::string();
            }
        }
    }
    return "<absent>";
}

void createSqliteUpdateDatabase(const std::string& path) {
    for (const char* table : {"QLX_UPT3", "QLX_UPT2"}) {
        run(path,
            std::string("CREATE TABLE ") + table +
                " (FILENAME TEXT, FPATH TEXT, BUILDNO INTEGER, eFILE BLOB)",
            {});
    }
    run(path, "CREATE TABLE QLX_UPT (UPDATE_ID TEXT, UPFILE BLOB)", {});
}

void runSql(const std::string& database, const std::string& statement) {
    run(database, statement, {});
}

void addBuildPackage(const std::string& database, const std::string& table,
                     const std::string& filename, const std::string& fpath, int buildno,
                     const qlx::Bytes& package, bool null) {
    run(database, "INSERT INTO " + table + " (FILENAME, FPATH, BUILDNO, eFILE) VALUES (?, ?, ?, ?)",
        {filename, fpath, std::int64_t{buildno}, blob(package, null)});
}

void addUpdatePackage(const std::string& database, const std::string& updateId,
                      const qlx::Bytes& package, bool null) {
    run(database, "INSERT INTO QLX_UPT (UPDATE_ID, UPFILE) VALUES (?, ?)",
        {updateId, blob(package, null)});
}

std::vector<std::string> namesThatLeaveTheFolder(const std::string& victim) {
    return {".", "..", "../victim.zip", "..\\victim.zip", "sub/victim.zip", victim};
}

} // namespace qlx::test

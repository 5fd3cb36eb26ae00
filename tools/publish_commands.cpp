#include "tools/publish_commands.h"

#include "db/sql_dialect.h"
#include "package/package_signature.h"
#include "platform/utf8_path.h"
#include "tools/package_audit.h"
#include "tools/package_check.h"
#include "tools/package_signer.h"
#include "tools/package_store.h"
#include "tools/publish_messages.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <system_error>

namespace qlx::publish {

namespace {

// The whole file `zip`; false, reported, when it cannot be read.
bool readArchive(const std::string& zip, Bytes& content) {
    std::ifstream file(toPath(zip), std::ios::binary);
    std::error_code code;
    const auto size = std::filesystem::file_size(toPath(zip), code);
    if (!file || code) {
        err("cannot read " + zip + (code ? ": " + code.message() : std::string()));
        return false;
    }
    content.resize(static_cast<std::size_t>(size));
    if (!file.read(content.data(), static_cast<std::streamsize>(content.size()))) {
        err("cannot read " + zip);
        return false;
    }
    return true;
}

bool signArchive(const std::string& zip, const SecretKey& key, const PackagePlace& place,
                 Bytes& content) {
    const Signing signing = signPackage(content, key, place);
    if (!signing.signedIt) {
        err("cannot sign " + zip + ": " + signing.error);
        return false;
    }
    if (signing.replacedComment) {
        warn("the comment of " + zip + " is replaced by its signature");
    }
    return true;
}

int refuseDuplicate(DbConnection& db, const std::string& table, const std::string& key,
                    std::optional<std::int64_t> buildno = std::nullopt) {
    std::string error;
    const std::optional<bool> exists = packageExists(db, table, key, buildno, error);
    if (!exists) {
        err("cannot read " + table + ": " + error);
        return kFailure;
    }
    if (*exists) {
        err("'" + key + "' is already in " + table +
            (buildno ? " for build " + std::to_string(*buildno) : std::string()) +
            "; remove it first");
        return kFailure;
    }
    return 0;
}

int initTables(DbConnection& db) {
    std::string error;
    if (!createSchema(db, error)) {
        err("cannot create the tables: " + error);
        return kFailure;
    }
    return 0;
}

int addUpdate(DbConnection& db, const DatabaseCommand& command) {
    const std::string& updateId = command.args[0];
    if (const int status = refuseDuplicate(db, kUpdateTable, updateId); status != 0) {
        return status;
    }
    std::string error;
    if (!insertUpdatePackage(db, updateId, command.package, error)) {
        err("cannot add " + updateId + ": " + error);
        return kFailure;
    }
    return 0;
}

void printListed(const ListedPackage& p, const std::string& signature) {
    const std::string size = p.size ? std::to_string(*p.size) : std::string("NULL");
    if (p.buildno) {
        std::cout << p.table << '\t' << p.key << '\t' << p.fpath << '\t' << *p.buildno << '\t'
                  << size << '\t' << signature << '\n';
    } else {
        std::cout << p.table << '\t' << p.key << '\t' << size << '\t' << signature << '\n';
    }
}

// What was listed before a failure is still printed.
int listAll(DbConnection& db) {
    int status = 0;
    std::string error;
    std::vector<ListedPackage> packages;
    if (!listPackages(db, packages, error)) {
        err("cannot list: " + error);
        status = kFailure;
    }
    for (const ListedPackage& p : packages) {
        printListed(p, signatureSummary(db, p));
    }
    return status;
}

// Serves both remove, from a per-build table, and remove-update.
int removePackage(DbConnection& db, const DatabaseCommand& command) {
    const bool build = command.name == "remove";
    const std::string& key = command.args[0];
    std::string error;
    const long removed = build ? removeBuildPackage(db, command.table, key, error)
                               : removeUpdatePackage(db, key, error);
    if (removed < 0) {
        err("cannot remove " + key + ": " + error);
        return kFailure;
    }
    if (removed == 0) {
        err("no package '" + key + "' in " + (build ? command.table : std::string(kUpdateTable)));
        return kFailure;
    }
    return 0;
}

} // namespace

int printOracleDdl() {
    for (const std::string& statement : schemaStatements(dialectOfProduct("Oracle"))) {
        std::cout << statement << ";\n";
    }
    for (const char* table : kBuildTables) {
        std::cout << indexStatement(table) << ";\n";
    }
    std::cout << indexStatement(kUpdateTable) << ";\n";
    return 0;
}

int keygen(const std::string& folder) {
    std::string line;
    std::string error;
    if (!makeKeyPair(folder, line, error)) {
        err("cannot make a key pair: " + error);
        return kFailure;
    }
    std::cout << line << '\n';
    return 0;
}

int signToFile(const std::optional<SecretKey>& key, const std::string& zip,
               const std::string& out) {
    std::optional<Bytes> package;
    // The FTP update vouches for the name the package is fetched by.
    const PackagePlace place = ftpPlace(toUtf8(toPath(out).filename()));
    if (const int status = checkedArchive(zip, key, place, package); status != 0) {
        return status;
    }
    std::ofstream file(toPath(out), std::ios::binary | std::ios::trunc);
    file.write(package->data(), static_cast<std::streamsize>(package->size()));
    if (!file.flush()) {
        err("cannot write " + out);
        return kFailure;
    }
    return 0;
}

int checkedArchive(const std::string& zip, const std::optional<SecretKey>& key,
                   const PackagePlace& place, std::optional<Bytes>& bytes) {
    Bytes content;
    if (!readArchive(zip, content) || (key && !signArchive(zip, *key, place, content))) {
        return kFailure;
    }
    // The check sees the bytes the updater will get, signature included.
    const PackageCheck check = checkPackage(content);
    if (!check.accepted) {
        err("refusing " + zip + ": " + check.reason);
        return kFailure;
    }
    if (key && checkPackage({key->publicKey()}, place, content) != SignatureCheck::Signed) {
        err("refusing " + zip + ": its signature does not check out");
        return kFailure;
    }
    bytes = std::move(content);
    return 0;
}

int runOnDatabase(DbConnection& db, DatabaseCommand& command) {
    if (command.name == "init") {
        return initTables(db);
    }
    if (command.name == "add-build") {
        return addBuilds(db, command.table, command.builds, command.key);
    }
    if (command.name == "add-update") {
        return addUpdate(db, command);
    }
    if (command.name == "list") {
        return listAll(db);
    }
    if (command.name == "verify") {
        return verifyAll(db, command.publicKeys);
    }
    return removePackage(db, command);
}

} // namespace qlx::publish

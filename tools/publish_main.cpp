// qlx_publish: puts update packages into an update database and takes them out.

#include "base/bytes.h"
#include "base/unexpected_error.h"
#include "db/db_connection.h"
#include "db/dbms_mapping.h"
#include "db/transaction.h"
#include "package/package_signature.h"
#include "platform/program_arguments.h"
#include "platform/utf8_path.h"
#include "tools/package_check.h"
#include "tools/package_keys.h"
#include "tools/package_signer.h"
#include "db/sql_dialect.h"
#include "tools/package_store.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <system_error>

namespace {

using namespace qlx;
using namespace qlx::publish;

constexpr int kFailure = 1;
constexpr int kUsage = 2;

const char* const kUsageText =
    R"(Usage: qlx_publish [--key FILE] --dbms ID --server NAME [--user USER] [--password PASS]
                   COMMAND [ARGS]
       qlx_publish ddl-oracle
       qlx_publish keygen DIR
       qlx_publish --key FILE sign ZIP OUT
Put Quillon update packages into an update database, list them and take them out.

Commands:
  init                                 create the tables QLX_UPT3, QLX_UPT2 and QLX_UPT
                                       (a SQLite database file is created when missing)
  ddl-oracle                           print the tables' DDL for Oracle and exit
  add-build FILENAME FPATH BUILDNO ZIP [--table QLX_UPT3|QLX_UPT2]
                                       publish ZIP as the package FILENAME of build
                                       BUILDNO, unpacked into FPATH (default table QLX_UPT3)
  add-update UPDATE_ID ZIP             publish ZIP as the single package UPDATE_ID
  list                                 list every package with its size in bytes
  remove FILENAME [--table QLX_UPT3|QLX_UPT2]
                                       remove the package FILENAME of a per-build table
  remove-update UPDATE_ID              remove the single package UPDATE_ID
  keygen DIR                           make a signing key pair in DIR: package.key, the
                                       secret key (readable by you alone; keep it off the
                                       update server), and package.pub, the line that
                                       updaters are built with; never replaces either
  sign ZIP OUT                         write ZIP signed with --key to OUT, for the FTP
                                       server

Options:
  --key FILE         sign every package added with the secret key FILE (a package.key);
                     an updater built with its package.pub refuses all other packages
  --dbms ID          database interface: SQLite, PostgreSQL (PGS), ODBC, O10, ORACLE
  --server NAME      SQLite: the database file; PostgreSQL: host[:port][/database];
                     ODBC and Oracle: a data source name
  --user USER        login (default QUIL_UPT)
  --password PASS    password (default the updater's first password)
  --table TABLE      per-build table for add-build and remove
  -h, --help         show this help and exit

A package is refused unless the updater's extraction library unpacks it. Without
--key, packages are added unsigned, with a warning. A signature replaces the archive's
comment.
Exit status: 0 success, 1 the operation failed, 2 wrong usage.
)";

void err(const std::string& text) {
    std::fprintf(stderr, "qlx_publish: %s\n", text.c_str());
}

void warn(const std::string& text) {
    err("warning: " + text);
}

int usageError(const std::string& text) {
    err(text);
    std::fprintf(stderr, "Try 'qlx_publish --help' for more information.\n");
    return kUsage;
}

struct Options {
    std::string key;
    std::string dbms;
    std::string server;
    std::string user = "QUIL_UPT";
    std::string password = "KOLVEX4923TRA";
    std::string table = "QLX_UPT3";
    std::vector<std::string> positional;
    bool help = false;
};

std::optional<std::string> parse(const std::vector<std::string>& args, Options& options) {
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-h" || a == "--help") {
            options.help = true;
            continue;
        }
        std::string* target = nullptr;
        if (a == "--key") {
            target = &options.key;
        } else if (a == "--dbms") {
            target = &options.dbms;
        } else if (a == "--server") {
            target = &options.server;
        } else if (a == "--user") {
            target = &options.user;
        } else if (a == "--password") {
            target = &options.password;
        } else if (a == "--table") {
            target = &options.table;
        } else if (a.rfind("--", 0) == 0) {
            return "unknown option '" + a + "'";
        }
        if (target != nullptr) {
            if (i + 1 >= args.size()) {
                return "option '" + a + "' needs a value";
            }
            *target = args[++i];
            continue;
        }
        options.positional.push_back(a);
    }
    return std::nullopt;
}

bool connect(Transaction& sqlca, const Options& options) {
    sqlca.DBMS = options.dbms;
    sqlca.ServerName = options.server;
    sqlca.LogId = options.user;
    sqlca.LogPass = options.password;
    sqlca.AutoCommit = true;
    sqlca.Writable = true;
    sqlca.connect();
    if (sqlca.SQLCode.value_or(0) != 0) {
        err("cannot connect: " + sqlca.SQLErrText);
        return false;
    }
    return true;
}

// The archive `zip` as it goes into the database: signed with `key` when
// there is one, and accepted by the package check.
int checkedArchive(const std::string& zip, const std::optional<SecretKey>& key,
                   std::optional<Bytes>& bytes) {
    std::ifstream file(toPath(zip), std::ios::binary);
    std::error_code code;
    const auto size = std::filesystem::file_size(toPath(zip), code);
    if (!file || code) {
        err("cannot read " + zip + (code ? ": " + code.message() : std::string()));
        return kFailure;
    }
    Bytes content(static_cast<std::size_t>(size));
    if (!file.read(content.data(), static_cast<std::streamsize>(content.size()))) {
        err("cannot read " + zip);
        return kFailure;
    }
    if (key) {
        const Signing signing = signPackage(content, *key);
        if (!signing.signedIt) {
            err("cannot sign " + zip + ": " + signing.error);
            return kFailure;
        }
        if (signing.replacedComment) {
            warn("the comment of " + zip + " is replaced by its signature");
        }
    }
    // The check sees the bytes the updater will get, signature included.
    const PackageCheck check = checkPackage(content);
    if (!check.accepted) {
        err("refusing " + zip + ": " + check.reason);
        return kFailure;
    }
    if (key && !isSignedPackage(key->publicKey(), content)) {
        err("refusing " + zip + ": its signature does not check out");
        return kFailure;
    }
    bytes = std::move(content);
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
    if (const int status = checkedArchive(zip, key, package); status != 0) {
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

std::optional<long> wholeNumber(std::string text) {
    if (!text.empty() && text.front() == '+') {
        text.erase(0, 1);
    }
    long value = 0;
    const auto [end, code] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || code != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

int run(const Options& o) {
    const std::string command = o.positional.empty() ? std::string() : o.positional.front();
    const std::vector<std::string> args =
        o.positional.empty()
            ? std::vector<std::string>()
            : std::vector<std::string>(o.positional.begin() + 1, o.positional.end());

    if (command == "ddl-oracle") {
        for (const std::string& statement : schemaStatements(dialectOfProduct("Oracle"))) {
            std::cout << statement << ";\n";
        }
        return 0;
    }
    struct Arity {
        const char* name;
        std::size_t count;
    };
    constexpr Arity arities[] = {{"init", 0},   {"add-build", 4}, {"add-update", 2},
                                 {"list", 0},   {"remove", 1},    {"remove-update", 1},
                                 {"keygen", 1}, {"sign", 2}};
    const auto* arity = std::find_if(std::begin(arities), std::end(arities),
                                     [&](const Arity& a) { return command == a.name; });
    if (command.empty()) {
        return usageError("no command given");
    }
    if (arity == std::end(arities)) {
        return usageError("unknown command '" + command + "'");
    }
    if (args.size() != arity->count) {
        return usageError("'" + command + "' takes " + std::to_string(arity->count) +
                          " argument(s)");
    }
    if (command == "keygen") {
        return keygen(args[0]);
    }
    if (command == "sign" && o.key.empty()) {
        return usageError("'sign' needs --key");
    }
    std::optional<SecretKey> key;
    if (!o.key.empty()) {
        std::string error;
        key = SecretKey::read(o.key, error);
        if (!key) {
            err(error);
            return kFailure;
        }
    }
    if (command == "sign") {
        return signToFile(key, args[0], args[1]);
    }
    if (o.dbms.empty() || o.server.empty()) {
        return usageError("--dbms and --server are required");
    }
    const std::optional<std::string> table = buildTableNamed(o.table);
    if (!table) {
        return usageError("--table must be QLX_UPT3 or QLX_UPT2, not '" + o.table + "'");
    }
    long buildno = 0;
    if (command == "add-build") {
        const std::optional<long> number = wholeNumber(args[2]);
        if (!number) {
            return usageError("BUILDNO must be a whole number, not '" + args[2] + "'");
        }
        buildno = *number;
    }

    // Archives are signed and checked before the database is touched.
    std::optional<Bytes> package;
    if (command == "add-build" || command == "add-update") {
        if (!key) {
            warn("no --key: " + args.back() +
                 " goes in unsigned, and updaters built with a package key refuse it");
        }
        if (const int status = checkedArchive(args.back(), key, package); status != 0) {
            return status;
        }
    }

    std::error_code code;
    if (command == "init" && dbmsKindOf(o.dbms) == DbmsKind::Sqlite &&
        !std::filesystem::exists(toPath(o.server), code)) {
        std::ofstream file(toPath(o.server), std::ios::binary);
        if (!file) {
            err("cannot create " + o.server);
            return kFailure;
        }
    }

    Transaction sqlca;
    if (!connect(sqlca, o)) {
        return kFailure;
    }
    DbConnection& db = *sqlca.connection();
    std::string error;
    int status = 0;
    if (command == "init") {
        if (!createSchema(db, error)) {
            err("cannot create the tables: " + error);
            status = kFailure;
        }
    } else if (command == "add-build") {
        status = refuseDuplicate(db, *table, args[0], buildno);
        if (status == 0 &&
            !insertBuildPackage(
                db, *table, BuildPackage{args[0], args[1], buildno, std::move(package)}, error)) {
            err("cannot add " + args[0] + ": " + error);
            status = kFailure;
        }
    } else if (command == "add-update") {
        status = refuseDuplicate(db, kUpdateTable, args[0]);
        if (status == 0 && !insertUpdatePackage(db, args[0], package, error)) {
            err("cannot add " + args[0] + ": " + error);
            status = kFailure;
        }
    } else if (command == "list") {
        std::vector<ListedPackage> packages;
        if (!listPackages(db, packages, error)) {
            err("cannot list: " + error);
            status = kFailure;
        }
        for (const ListedPackage& p : packages) {
            const std::string size = p.size ? std::to_string(*p.size) : std::string("NULL");
            if (p.buildno) {
                std::cout << p.table << '\t' << p.key << '\t' << p.fpath << '\t' << *p.buildno
                          << '\t' << size << '\n';
            } else {
                std::cout << p.table << '\t' << p.key << '\t' << size << '\n';
            }
        }
    } else {
        const bool build = command == "remove";
        const long removed = build ? removeBuildPackage(db, *table, args[0], error)
                                   : removeUpdatePackage(db, args[0], error);
        if (removed < 0) {
            err("cannot remove " + args[0] + ": " + error);
            status = kFailure;
        } else if (removed == 0) {
            err("no package '" + args[0] + "' in " + (build ? *table : std::string(kUpdateTable)));
            status = kFailure;
        }
    }
    sqlca.disconnect();
    return status;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments = qlx::programArguments(argc, argv);
    Options options;
    if (const std::optional<std::string> problem = parse(arguments, options)) {
        return usageError(*problem);
    }
    if (options.help) {
        std::fputs(kUsageText, stdout);
        return 0;
    }
    try {
        return run(options);
    } catch (const UnexpectedError& e) {
        err("cannot load " + e.library() + ": " + e.reason());
        return kFailure;
    }
}

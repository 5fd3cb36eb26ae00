// qlx_publish: puts update packages into an update database and takes them out.

#include "base/unexpected_error.h"
#include "db/db_connection.h"
#include "db/dbms_mapping.h"
#include "db/transaction.h"
#include "platform/program_arguments.h"
#include "platform/utf8_path.h"
#include "platform/whole_file.h"
#include "tools/package_keys.h"
#include "tools/package_store.h"
#include "tools/publish_commands.h"
#include "tools/publish_messages.h"
#include "tools/publish_options.h"
#include "tools/publish_password.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace {

using namespace qlx;
using namespace qlx::publish;

// Usage errors for a command that is missing, unknown or given the wrong
// number of arguments; 0 when it is none of these.
int checkArity(const std::string& command, const std::vector<std::string>& args) {
    struct Arity {
        const char* name;
        std::size_t count;
    };
    constexpr Arity arities[] = {{"init", 0},   {"add-build", 4}, {"add-update", 2},
                                 {"list", 0},   {"remove", 1},    {"remove-update", 1},
                                 {"keygen", 1}, {"sign", 2},      {"verify", 0}};
    const auto* arity = std::find_if(std::begin(arities), std::end(arities),
                                     [&](const Arity& a) { return command == a.name; });
    if (command.empty()) {
        return usageError("no command given");
    }
    if (arity == std::end(arities)) {
        return usageError("unknown command '" + command + "'");
    }
    // add-build's packages are counted when they are read.
    if (command != "add-build" && args.size() != arity->count) {
        return usageError("'" + command + "' takes " + std::to_string(arity->count) +
                          " argument(s)");
    }
    return 0;
}

// The key of --key, none without it; false, reported, when it cannot be read.
bool readKey(const std::string& path, std::optional<SecretKey>& key) {
    if (path.empty()) {
        return true;
    }
    std::string error;
    key = SecretKey::read(path, error);
    if (!key) {
        err(error);
        return false;
    }
    return true;
}

// Reads add-build's packages, which it checks in its transaction, and
// add-update's archive.
int prepare(DatabaseCommand& command, const std::optional<SecretKey>& key,
            const std::string& manifest) {
    if (command.name == "verify") {
        return command.publicKeys.empty() ? usageError("'verify' needs --pub FILE") : 0;
    }
    const std::vector<std::string>& args = command.args;
    if (command.name == "add-build") {
        command.key = key;
        if (manifest.empty()) {
            return entriesOfArguments(args, command.builds);
        }
        if (!args.empty()) {
            return usageError("'add-build' takes its packages from --manifest or its arguments");
        }
        return entriesOfManifest(manifest, command.builds);
    }
    if (command.name == "add-update") {
        if (!key) {
            warn("no --key: " + args.back() +
                 " goes in unsigned, and updaters built with a package key refuse it");
        }
        return checkedArchive(args.back(), key, updatePlace(args[0]), command.package);
    }
    return 0;
}

// A SQLite database file is made for init, which the driver will not create.
bool createDatabaseFile(const std::string& command, const Options& o) {
    std::error_code code;
    if (command == "init" && dbmsKindOf(o.dbms) == DbmsKind::Sqlite &&
        !std::filesystem::exists(toPath(o.server), code)) {
        std::ofstream file(toPath(o.server), std::ios::binary);
        if (!file) {
            err("cannot create " + o.server);
            return false;
        }
    }
    return true;
}

// The keys of verify's package.pub files; false, reported, when one is none.
bool readPublicKeys(const std::vector<std::string>& files, PackageKeys& keys) {
    for (const std::string& file : files) {
        std::string line = readWholeFile(file).value_or(std::string());
        line = line.substr(0, line.find_first_of("\r\n"));
        const std::optional<PackageKey> key = parsePackageKey(line);
        if (!key) {
            err(file + " is not a package.pub (made by 'qlx_publish keygen')");
            return false;
        }
        keys.push_back(*key);
    }
    return true;
}

bool connect(Transaction& sqlca, const Options& options) {
    std::string password;
    if (!readPassword(options, password)) {
        return false;
    }
    sqlca.DBMS = options.dbms;
    sqlca.ServerName = options.server;
    sqlca.LogId = options.user;
    sqlca.LogPass = password;
    sqlca.AutoCommit = true;
    sqlca.Writable = true;
    sqlca.connect();
    if (sqlca.SQLCode.value_or(0) != 0) {
        err("cannot connect: " + sqlca.SQLErrText);
        return false;
    }
    return true;
}

int runDatabaseCommand(const Options& o, DatabaseCommand& command,
                       const std::optional<SecretKey>& key) {
    if (!readPublicKeys(o.publicKeyFiles, command.publicKeys)) {
        return kFailure;
    }
    if (o.dbms.empty() || o.server.empty()) {
        return usageError("--dbms and --server are required");
    }
    const std::optional<std::string> table = buildTableNamed(o.table);
    if (!table) {
        return usageError("--table must be QLX_UPT3 or QLX_UPT2, not '" + o.table + "'");
    }
    command.table = *table;
    // Usage is checked before the database is touched.
    if (const int status = prepare(command, key, o.manifest); status != 0) {
        return status;
    }
    if (!createDatabaseFile(command.name, o)) {
        return kFailure;
    }
    Transaction sqlca;
    if (!connect(sqlca, o)) {
        return kFailure;
    }
    const int status = runOnDatabase(*sqlca.connection(), command);
    sqlca.disconnect();
    return status;
}

int run(const Options& o) {
    DatabaseCommand command;
    if (!o.positional.empty()) {
        command.name = o.positional.front();
        command.args.assign(o.positional.begin() + 1, o.positional.end());
    }
    if (command.name == "ddl-oracle") {
        return printOracleDdl();
    }
    if (const int status = checkArity(command.name, command.args); status != 0) {
        return status;
    }
    if (command.name == "keygen") {
        return keygen(command.args[0]);
    }
    if (command.name == "sign" && o.key.empty()) {
        return usageError("'sign' needs --key");
    }
    std::optional<SecretKey> key;
    if (!readKey(o.key, key)) {
        return kFailure;
    }
    if (command.name == "sign") {
        return signToFile(key, command.args[0], command.args[1]);
    }
    return runDatabaseCommand(o, command, key);
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments = qlx::programArguments(argc, argv);
    Options options;
    if (const std::optional<std::string> problem = parseOptions(arguments, options)) {
        return usageError(*problem);
    }
    if (options.help) {
        printUsage();
        return 0;
    }
    try {
        return run(options);
    } catch (const UnexpectedError& e) {
        err("cannot load " + e.library() + ": " + e.reason());
        return kFailure;
    }
}

#include "tools/publish_options.h"

#include <charconv>
#include <cstdio>
#include <system_error>

namespace qlx::publish {

namespace {

const char* const kUsageText =
    R"(Usage: qlx_publish [--key FILE] --dbms ID --server NAME [--user USER]
                   [--password-file FILE] COMMAND [ARGS]
       qlx_publish --dbms ID --server NAME --pub FILE [--pub FILE...] verify
       qlx_publish ddl-oracle
       qlx_publish keygen DIR
       qlx_publish --key FILE sign ZIP OUT
Put Quillon update packages into an update database, list them and take them out.

Commands:
  init                                 create the tables QLX_UPT3, QLX_UPT2 and QLX_UPT
                                       (a SQLite database file is created when missing)
  ddl-oracle                           print the tables' DDL for Oracle and exit
  add-build FILENAME FPATH BUILDNO ZIP [FILENAME FPATH BUILDNO ZIP]...
            [--table QLX_UPT3|QLX_UPT2]
                                       publish each ZIP as the package FILENAME of build
                                       BUILDNO, unpacked into FPATH (default table
                                       QLX_UPT3), all in one transaction: all or none
  add-build --manifest FILE            the same for the packages FILE lists, one a line:
                                       FILENAME FPATH BUILDNO ZIP, separated by tabs (or
                                       blanks on a line without a tab); '#' starts a comment
  add-update UPDATE_ID ZIP             publish ZIP as the single package UPDATE_ID
  list                                 list every package with its size in bytes and
                                       whether it is signed, by the key's fingerprint
  verify                               check every package against the --pub keys and
                                       the row it sits in; exit status 1 when any fails
  remove FILENAME [--table QLX_UPT3|QLX_UPT2]
                                       remove the package FILENAME of a per-build table
  remove-update UPDATE_ID              remove the single package UPDATE_ID
  keygen DIR                           make a signing key pair in DIR: package.key, the
                                       secret key (readable by you alone; keep it off the
                                       update server), and package.pub, the line that
                                       updaters are built with; never replaces either
  sign ZIP OUT                         write ZIP signed with --key to OUT, for the FTP
                                       server under OUT's file name

Options:
  --key FILE         sign every package added, for the row it goes to, with the secret
                     key FILE (a package.key, readable by you alone: chmod 600 FILE);
                     an updater built with its package.pub refuses all other packages
  --pub FILE         a package.pub that verify accepts; give one for each key
  --dbms ID          database interface: SQLite, PostgreSQL (PGS), ODBC, O10, ORACLE
  --server NAME      SQLite: the database file; PostgreSQL: host[:port][/database];
                     ODBC and Oracle: a data source name
  --user USER        login (default QUIL_UPT)
  --password-file FILE
                     read the password from the first line of FILE
  --password PASS    the password; every user of the machine can read it: prefer
                     --password-file or QLX_PUBLISH_PASSWORD
                     (without either: a prompt on a terminal, otherwise the updater's
                     first password)
  --table TABLE      per-build table for add-build and remove
  --manifest FILE    add-build's list of packages
  -h, --help         show this help and exit

A package is refused unless the updater's extraction library unpacks it. Without
--key, packages are added unsigned, with a warning. A signature replaces the archive's
comment.
Exit status: 0 success, 1 the operation failed, 2 wrong usage.
)";

} // namespace

std::optional<std::string> parseOptions(const std::vector<std::string>& args, Options& options) {
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-h" || a == "--help") {
            options.help = true;
            continue;
        }
        std::string* target = nullptr;
        if (a == "--pub") {
            target = &options.publicKeyFiles.emplace_back();
        } else if (a == "--password") {
            target = &options.passwordOption.emplace();
        } else if (a == "--password-file") {
            target = &options.passwordFile;
        } else if (a == "--key") {
            target = &options.key;
        } else if (a == "--dbms") {
            target = &options.dbms;
        } else if (a == "--server") {
            target = &options.server;
        } else if (a == "--user") {
            target = &options.user;
        } else if (a == "--table") {
            target = &options.table;
        } else if (a == "--manifest") {
            target = &options.manifest;
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

void printUsage() {
    std::fputs(kUsageText, stdout);
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

} // namespace qlx::publish

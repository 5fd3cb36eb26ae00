// Fetches one package BLOB the way the updater does and writes it to a file,
// so that its time and peak memory can be set against the databases' own
// clients (bench/blob_fetch.sh).
//   blob_fetch --dbms ID --server NAME [--user U --password P] [--whole] FILENAME OUT
// --whole reads the BLOB as one value of one statement's row.

#include "db/db_connection.h"
#include "db/repository.h"
#include "db/transaction.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

const char* const kUsage = "usage: blob_fetch --dbms ID --server NAME [--user U] [--password P] "
                           "[--whole] FILENAME OUT\n";

// The BLOB as the row's one value; nullopt when there is none.
std::optional<qlx::Bytes> selectWhole(qlx::Transaction& sqlca, const std::string& filename) {
    qlx::DbConnection& db = *sqlca.connection();
    const std::unique_ptr<qlx::DbStatement> query =
        db.prepare("SELECT eFILE FROM QLX_UPT3 WHERE FILENAME = ?");
    std::optional<qlx::Bytes> blob;
    if (query && query->execute({filename}) && query->next() == qlx::DbStep::Row &&
        query->readBytes(0, blob)) {
        return blob;
    }
    sqlca.setResult(-1, db.lastError());
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    qlx::Transaction sqlca;
    sqlca.LogId = "QUIL_UPT";
    sqlca.LogPass = "KOLVEX4923TRA";
    // As the updater connects: a transaction that is rolled back at the end.
    sqlca.AutoCommit = false;
    sqlca.DBParm = "CommitOnDisconnect='No'";
    bool whole = false;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--whole") {
            whole = true;
            continue;
        }
        if (a.rfind("--", 0) != 0) {
            positional.push_back(a);
            continue;
        }
        std::string* field = a == "--dbms"       ? &sqlca.DBMS
                             : a == "--server"   ? &sqlca.ServerName
                             : a == "--user"     ? &sqlca.LogId
                             : a == "--password" ? &sqlca.LogPass
                                                 : nullptr;
        if (field == nullptr || i + 1 >= args.size()) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        *field = args[++i];
    }
    if (positional.size() != 2 || sqlca.DBMS.empty() || sqlca.ServerName.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    sqlca.connect();
    if (sqlca.SQLCode.value_or(0) != 0) {
        std::fprintf(stderr, "blob_fetch: %s\n", sqlca.SQLErrText.c_str());
        return 1;
    }
    std::optional<qlx::Bytes> blob = qlx::Bytes();
    if (whole) {
        blob = selectWhole(sqlca, positional[0]);
    } else {
        qlx::selectPackageByFileName(sqlca, "QLX_UPT3", positional[0], blob);
    }
    if (!blob || blob->empty()) {
        std::fprintf(stderr, "blob_fetch: no package (%s)\n", sqlca.SQLErrText.c_str());
        return 1;
    }
    std::ofstream out(positional[1], std::ios::binary);
    if (!out.write(blob->data(), static_cast<std::streamsize>(blob->size())) || !out.flush()) {
        std::fprintf(stderr, "blob_fetch: cannot write %s\n", positional[1].c_str());
        return 1;
    }
    return 0;
}

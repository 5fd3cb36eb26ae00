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

// The options go into the connection's fields; false on a wrong command line.
bool parseArguments(const std::vector<std::string>& args, qlx::Transaction& sqlca, bool& whole,
                    std::vector<std::string>& positional) {
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
            return false;
        }
        *field = args[++i];
    }
    return positional.size() == 2 && !sqlca.DBMS.empty() && !sqlca.ServerName.empty();
}

std::optional<qlx::Bytes> fetch(qlx::Transaction& sqlca, bool whole, const std::string& filename) {
    std::optional<qlx::Bytes> blob = qlx::Bytes();
    if (whole) {
        blob = selectWhole(sqlca, filename);
    } else {
        qlx::selectPackageByFileName(sqlca, "QLX_UPT3", filename, blob);
    }
    return blob;
}

bool writeFile(const std::string& path, const qlx::Bytes& blob) {
    std::ofstream out(path, std::ios::binary);
    return out.write(blob.data(), static_cast<std::streamsize>(blob.size())) && out.flush();
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
    if (!parseArguments(args, sqlca, whole, positional)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    sqlca.connect();
    if (sqlca.SQLCode.value_or(0) != 0) {
        std::fprintf(stderr, "blob_fetch: %s\n", sqlca.SQLErrText.c_str());
        return 1;
    }
    const std::optional<qlx::Bytes> blob = fetch(sqlca, whole, positional[0]);
    if (!blob || blob->empty()) {
        std::fprintf(stderr, "blob_fetch: no package (%s)\n", sqlca.SQLErrText.c_str());
        return 1;
    }
    if (!writeFile(positional[1], *blob)) {
        std::fprintf(stderr, "blob_fetch: cannot write %s\n", positional[1].c_str());
        return 1;
    }
    return 0;
}

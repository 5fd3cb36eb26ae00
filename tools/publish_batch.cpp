#include "tools/publish_batch.h"

#include "db/db_connection.h"
#include "platform/utf8_path.h"
#include "tools/package_store.h"
#include "tools/publish_commands.h"
#include "tools/publish_messages.h"
#include "tools/publish_options.h"

#include <fstream>
#include <set>
#include <sstream>
#include <utility>

namespace qlx::publish {

namespace {

std::optional<BuildEntry> entryOf(const std::vector<std::string>& fields) {
    const std::optional<long> buildno = wholeNumber(fields[2]);
    if (!buildno) {
        return std::nullopt;
    }
    return BuildEntry{fields[0], fields[1], *buildno, fields[3]};
}

std::vector<std::string> fieldsOfLine(const std::string& line) {
    std::vector<std::string> fields;
    if (line.find('\t') != std::string::npos) {
        std::istringstream stream(line);
        for (std::string field; std::getline(stream, field, '\t');) {
            fields.push_back(field);
        }
        return fields;
    }
    std::istringstream stream(line);
    for (std::string field; stream >> field;) {
        fields.push_back(field);
    }
    return fields;
}

// Whether the row of `entry` is free in `table`; reported when it is not.
bool rowIsFree(DbConnection& db, const std::string& table, const BuildEntry& entry) {
    std::string error;
    const std::optional<bool> exists =
        packageExists(db, table, entry.filename, entry.buildno, error);
    if (!exists) {
        err("cannot read " + table + ": " + error);
        return false;
    }
    if (*exists) {
        err("'" + entry.filename + "' is already in " + table + " for build " +
            std::to_string(entry.buildno) + "; remove it first");
    }
    return !*exists;
}

// Checks one entry and, with `insert`, adds it; false, reported, when it fails.
bool addOne(DbConnection& db, const std::string& table, const BuildEntry& entry,
            const std::optional<SecretKey>& key, bool insert) {
    std::optional<Bytes> bytes;
    const PackagePlace place = buildPlace(table, entry.filename, entry.fpath, entry.buildno);
    if (checkedArchive(entry.zip, key, place, bytes) != 0) {
        return false;
    }
    if (!insert) {
        return true;
    }
    if (!rowIsFree(db, table, entry)) {
        return false;
    }
    std::string error;
    const BuildPackage package{entry.filename, entry.fpath, entry.buildno, std::move(bytes)};
    if (!insertBuildPackage(db, table, package, error)) {
        err("cannot add " + entry.filename + ": " + error);
        return false;
    }
    return true;
}

} // namespace

int entriesOfArguments(const std::vector<std::string>& args, std::vector<BuildEntry>& entries) {
    if (args.empty() || args.size() % 4 != 0) {
        return usageError("'add-build' takes FILENAME FPATH BUILDNO ZIP, once or more");
    }
    for (std::size_t at = 0; at < args.size(); at += 4) {
        const std::vector<std::string> fields(args.begin() + static_cast<long>(at),
                                              args.begin() + static_cast<long>(at + 4));
        std::optional<BuildEntry> entry = entryOf(fields);
        if (!entry) {
            return usageError("BUILDNO must be a whole number, not '" + fields[2] + "'");
        }
        entries.push_back(std::move(*entry));
    }
    return 0;
}

int entriesOfManifest(const std::string& manifest, std::vector<BuildEntry>& entries) {
    std::ifstream file(toPath(manifest));
    if (!file) {
        err("cannot read " + manifest);
        return kFailure;
    }
    long number = 0;
    for (std::string line; std::getline(file, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.find_first_not_of(" \t") == std::string::npos || line.front() == '#') {
            continue;
        }
        const std::vector<std::string> fields = fieldsOfLine(line);
        std::optional<BuildEntry> entry;
        if (fields.size() == 4) {
            entry = entryOf(fields);
        }
        if (!entry) {
            return usageError(manifest + ":" + std::to_string(number) +
                              ": not FILENAME FPATH BUILDNO ZIP with a whole BUILDNO");
        }
        entries.push_back(std::move(*entry));
    }
    if (entries.empty()) {
        return usageError(manifest + " lists no package");
    }
    return 0;
}

int addBuilds(DbConnection& db, const std::string& table, const std::vector<BuildEntry>& entries,
              const std::optional<SecretKey>& key) {
    if (!db.begin()) {
        err("cannot begin a transaction: " + db.lastError());
        return kFailure;
    }
    if (!key) {
        const std::string what = entries.size() == 1
                                     ? entries.front().zip + " goes"
                                     : std::to_string(entries.size()) + " packages go";
        warn("no --key: " + what + " in unsigned, and updaters built with a package key refuse " +
             (entries.size() == 1 ? "it" : "them"));
    }
    bool ok = true;
    std::set<std::pair<std::string, long>> rows;
    for (const BuildEntry& entry : entries) {
        if (!rows.emplace(entry.filename, entry.buildno).second) {
            err("'" + entry.filename + "' is listed twice for build " +
                std::to_string(entry.buildno));
            ok = false;
            continue;
        }
        // After a failure the rest is only checked, so that one run names
        // every faulty archive; some servers refuse every statement of a
        // transaction after one has failed.
        ok = addOne(db, table, entry, key, ok) && ok;
    }
    if (!ok) {
        db.rollback();
        err("nothing was added");
        return kFailure;
    }
    if (!db.commit()) {
        err("cannot commit: " + db.lastError());
        return kFailure;
    }
    return 0;
}

} // namespace qlx::publish

#include "tools/package_audit.h"

#include "db/blob_rows.h"
#include "db/db_connection.h"
#include "package/package_signature.h"
#include "tools/publish_messages.h"

#include <algorithm>
#include <iostream>

namespace qlx::publish {

namespace {

PackagePlace placeOf(const ListedPackage& package) {
    if (package.buildno) {
        return buildPlace(package.table, package.key, package.fpath, *package.buildno);
    }
    return updatePlace(package.key);
}

// The package's bytes, read as the updater selects them.
BlobRead readListed(DbConnection& db, const ListedPackage& package) {
    if (package.buildno) {
        return db.readBlob(
            {package.table,
             "eFILE",
             {{"FILENAME", package.key}, {"BUILDNO", std::int64_t{*package.buildno}}}});
    }
    return db.readBlob({kUpdateTable, "UPFILE", {{"UPDATE_ID", package.key}}});
}

bool knownKey(const PackageKeys& keys, const std::string& fingerprint) {
    return std::any_of(keys.begin(), keys.end(),
                       [&](const PackageKey& key) { return keyFingerprint(key) == fingerprint; });
}

// What the check of the package `bytes` of `package` found; `good` when one
// of `keys` signed it for its row.
std::string verdictOn(const PackageKeys& keys, const ListedPackage& package, const Bytes& bytes,
                      bool& good) {
    const PackageSignature signature = readSignature(bytes);
    if (signature.format == PackageSignature::Format::None) {
        return "unsigned";
    }
    if (signature.format == PackageSignature::Format::Old) {
        return "old signature format, refused by updaters: publish it again";
    }
    if (signature.format == PackageSignature::Format::Damaged) {
        return "damaged signature: the package was changed after it was signed";
    }
    if (!knownKey(keys, signature.fingerprint)) {
        return "signed by another key " + signature.fingerprint;
    }
    switch (checkPackage(keys, placeOf(package), bytes)) {
    case SignatureCheck::Signed:
        good = true;
        return "good " + signature.fingerprint;
    case SignatureCheck::WrongPlace:
        return "signed for another place: " + describePlace(*signature.place);
    case SignatureCheck::NotSigned:
        break;
    }
    return "bad signature: the package was changed after it was signed";
}

void printPackage(const ListedPackage& p, const std::string& verdict) {
    std::cout << p.table << '\t' << p.key;
    if (p.buildno) {
        std::cout << '\t' << p.fpath << '\t' << *p.buildno;
    }
    std::cout << '\t' << verdict << '\n';
}

} // namespace

std::string signatureSummary(DbConnection& db, const ListedPackage& package) {
    if (!package.size) {
        return "-";
    }
    const BlobRead read = readListed(db, package);
    if (read.sqlCode != 0 || !read.bytes) {
        return "unreadable";
    }
    const PackageSignature signature = readSignature(*read.bytes);
    switch (signature.format) {
    case PackageSignature::Format::Current:
        return "signed " + signature.fingerprint;
    case PackageSignature::Format::Old:
        return "old signature";
    case PackageSignature::Format::Damaged:
        return "damaged signature";
    case PackageSignature::Format::None:
        break;
    }
    return "unsigned";
}

int verifyAll(DbConnection& db, const PackageKeys& keys) {
    std::string error;
    std::vector<ListedPackage> packages;
    const bool listed = listPackages(db, packages, error);
    std::size_t bad = 0;
    for (const ListedPackage& package : packages) {
        const BlobRead read = readListed(db, package);
        std::string verdict;
        bool good = false;
        if (read.sqlCode != 0) {
            verdict = "cannot read: " + (read.sqlCode == 100 ? "no single row" : read.error);
        } else if (!read.bytes) {
            verdict = "empty (NULL): updaters with a key fail on it";
        } else {
            verdict = verdictOn(keys, package, *read.bytes, good);
        }
        bad += good ? 0 : 1;
        printPackage(package, verdict);
    }
    if (!listed) {
        err("cannot list: " + error);
        return kFailure;
    }
    if (bad != 0) {
        err(std::to_string(bad) + " of " + std::to_string(packages.size()) +
            " packages are not signed for their rows by these keys");
        return kFailure;
    }
    return 0;
}

} // namespace qlx::publish

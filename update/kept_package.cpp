#include "update/kept_package.h"

#include "db/package_tail.h"
#include "package/package_signature.h"
#include "platform/whole_file.h"

#include <algorithm>

namespace qlx {

namespace {

// The one question asked of the signature here: whether `key` signed these
// bytes for this row.
bool signedForRow(const PackageKey& key, const Bytes& package) {
    return isSignedPackage(key, package);
}

} // namespace

std::optional<Bytes> keptPackage(Transaction& sqlca, const std::string& fileTable,
                                 const FileListRow& row, const std::string& packageFile,
                                 const PackageKey& key) {
    const std::optional<std::string> kept = readWholeFile(packageFile);
    if (!kept || kept->size() < kEndRecordSize + kSignatureCommentSize) {
        return std::nullopt;
    }
    const std::optional<PackageTail> tail =
        selectPackageTail(sqlca, fileTable, row, kEndRecordSize + kSignatureCommentSize);
    if (!tail || tail->length != static_cast<std::int64_t>(kept->size()) ||
        tail->tail.size() != kEndRecordSize + kSignatureCommentSize ||
        !std::equal(tail->tail.begin(), tail->tail.end(),
                    kept->end() - static_cast<long>(tail->tail.size()))) {
        return std::nullopt;
    }
    Bytes bytes(kept->begin(), kept->end());
    if (!signedForRow(key, bytes)) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace qlx

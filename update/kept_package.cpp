#include "update/kept_package.h"

#include "db/package_tail.h"
#include "package/package_signature.h"
#include "platform/whole_file.h"

#include <algorithm>

namespace qlx {

namespace {

// How many bytes from the end the kept copy's end record and signed comment
// take; nullopt when it has no signature of the current kind to compare.
std::optional<std::size_t> signedTailSize(const Bytes& kept) {
    const std::optional<std::size_t> record =
        endRecordOf(reinterpret_cast<const unsigned char*>(kept.data()), kept.size());
    if (!record || readSignature(kept).format != PackageSignature::Format::Current) {
        return std::nullopt;
    }
    return kept.size() - *record;
}

} // namespace

std::optional<Bytes> keptPackage(Transaction& sqlca, const std::string& fileTable,
                                 const FileListRow& row, const std::string& packageFile,
                                 const PackageKeys& keys, const PackagePlace& place) {
    const std::optional<std::string> file = readWholeFile(packageFile);
    if (!file) {
        return std::nullopt;
    }
    Bytes kept(file->begin(), file->end());
    const std::optional<std::size_t> tailSize = signedTailSize(kept);
    if (!tailSize) {
        return std::nullopt;
    }
    const std::optional<PackageTail> tail = selectPackageTail(sqlca, fileTable, row, *tailSize);
    if (!tail || tail->length != static_cast<std::int64_t>(kept.size()) ||
        tail->tail.size() != *tailSize ||
        !std::equal(tail->tail.begin(), tail->tail.end(),
                    kept.end() - static_cast<long>(*tailSize))) {
        return std::nullopt;
    }
    // The tail holds a signature over everything before it, so a copy that
    // verifies here is the database's package byte for byte.
    if (checkPackage(keys, place, kept) != SignatureCheck::Signed) {
        return std::nullopt;
    }
    return kept;
}

} // namespace qlx

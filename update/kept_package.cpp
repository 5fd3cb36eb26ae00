#include "update/kept_package.h"

#include "db/package_tail.h"
#include "package/package_signature.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace qlx {

namespace {

// The last bytes of the kept copy that can hold its end record and a signed
// comment; nullopt when they cannot be read.
std::optional<Bytes> lastBytes(ExclusiveFile& file, std::uint64_t size) {
    constexpr std::uint64_t kTail = kEndRecordSize + kMaxSignatureCommentSize;
    const std::uint64_t from = size - std::min(size, kTail);
    Bytes tail(static_cast<std::size_t>(size - from));
    std::size_t got = 0;
    while (got < tail.size()) {
        const std::int64_t n = file.readAt(from + got, tail.data() + got, tail.size() - got);
        if (n <= 0) {
            return std::nullopt;
        }
        got += static_cast<std::size_t>(n);
    }
    return tail;
}

// How many bytes from the end the kept copy's end record and signed comment
// take; nullopt when it has no signature of the current kind to compare.
std::optional<std::size_t> signedTailSize(const Bytes& last) {
    const std::optional<std::size_t> record =
        endRecordOf(reinterpret_cast<const unsigned char*>(last.data()), last.size());
    if (!record || readSignature(last).format != PackageSignature::Format::Current) {
        return std::nullopt;
    }
    return last.size() - *record;
}

} // namespace

std::unique_ptr<ExclusiveFile> keptPackage(Transaction& sqlca, const std::string& fileTable,
                                           const FileListRow& row, const std::string& packageFile,
                                           const PackageKeys& keys, const PackagePlace& place) {
    auto kept = std::make_unique<ExclusiveFile>();
    if (!kept->openExisting(packageFile)) {
        return nullptr;
    }
    const std::optional<std::uint64_t> size = kept->size();
    const std::optional<Bytes> last = size ? lastBytes(*kept, *size) : std::nullopt;
    const std::optional<std::size_t> tailSize = last ? signedTailSize(*last) : std::nullopt;
    if (!tailSize) {
        return nullptr;
    }
    const std::optional<PackageTail> tail = selectPackageTail(sqlca, fileTable, row, *tailSize);
    if (!tail || tail->length != static_cast<std::int64_t>(*size) ||
        tail->tail.size() != *tailSize ||
        !std::equal(tail->tail.begin(), tail->tail.end(),
                    last->end() - static_cast<std::ptrdiff_t>(*tailSize))) {
        return nullptr;
    }
    // The tail holds a signature over everything before it, so a copy that
    // verifies here is the database's package byte for byte.
    if (checkPackageFile(keys, place, *kept) != SignatureCheck::Signed) {
        return nullptr;
    }
    return kept;
}

} // namespace qlx

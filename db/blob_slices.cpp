#include "db/blob_slices.h"

#include "db/base64_text.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qlx {

namespace {

constexpr const char* kChanged = "The BLOB changed while it was read";
constexpr const char* kMoreRows = "The select returned more than one row";

// Bytes each statement asks for: the driver holds one statement's result at a
// time, as text, so this bounds what the read holds beside the package.
constexpr std::int64_t kStatementBytes = kBlobSliceBytes * kBlobSlicesPerStatement;

// The server's base64 text of a whole slice: four characters for every three
// bytes, and a line break after every 76 characters but the last.
constexpr std::size_t base64TextSize(std::int64_t bytes) {
    const auto chars = static_cast<std::size_t>((bytes + 2) / 3 * 4);
    return chars == 0 ? 0 : chars + (chars - 1) / 76;
}

// Rows of the slices from `first` on, one statement's worth: the BLOB's
// length, the row's version, the slice's start (1-based) and its bytes as
// base64 text. A NULL or empty BLOB, or a range past its end, gives one row
// without a slice; no row at all means there is no such row.
DbStatement* sliceRows(DbConnection& db, KeptStatements& kept, const BlobSelect& select,
                       std::int64_t first) {
    const std::string& blob = select.blobColumn;
    DbStatement* slices = kept.get(
        db,
        "SELECT octet_length(" + blob + "), CAST(CAST(" + select.table +
            ".xmin AS text) AS bigint), s, encode(substring(" + blob +
            ", CAST(s AS integer), CAST(? AS integer)), 'base64') FROM " + select.table +
            " LEFT JOIN LATERAL generate_series(CAST(? AS bigint), LEAST(COALESCE(octet_length(" +
            blob + "), 0), CAST(? AS bigint)), CAST(? AS bigint)) AS s ON TRUE" +
            whereClause(select.keys));
    std::vector<DbParam> params{kBlobSliceBytes, first, first + kStatementBytes - 1,
                                kBlobSliceBytes};
    for (DbParam& key : keyParams(select.keys)) {
        params.push_back(std::move(key));
    }
    if (!slices || !slices->execute(params)) {
        return nullptr;
    }
    return slices;
}

// The slices of a BLOB landing in one buffer of its final size. They may come
// in any order: each lands at its own offset, and together they must cover
// the value exactly once.
class SliceAssembly {
public:
    explicit SliceAssembly(std::int64_t length)
        : length_(length), bytes_(static_cast<std::size_t>(length)),
          seen_(static_cast<std::size_t>((length + kBlobSliceBytes - 1) / kBlobSliceBytes)) {}

    // Whether the slice at `start` has landed already.
    [[nodiscard]] bool has(std::int64_t start) const {
        const std::int64_t index = (start - 1) / kBlobSliceBytes;
        return index >= 0 && index < static_cast<std::int64_t>(seen_.size()) &&
               seen_[static_cast<std::size_t>(index)];
    }

    // False when the slice at `start` is not one that is still missing.
    bool add(std::int64_t start, const char* text, std::size_t size) {
        const std::int64_t offset = start - 1;
        const std::int64_t index = offset / kBlobSliceBytes;
        if (offset < 0 || offset % kBlobSliceBytes != 0 ||
            index >= static_cast<std::int64_t>(seen_.size()) || has(start)) {
            return false;
        }
        const auto expected = static_cast<std::size_t>(std::min(kBlobSliceBytes, length_ - offset));
        if (decodeBase64(text, size, bytes_.data() + offset, expected) != expected) {
            return false;
        }
        seen_[static_cast<std::size_t>(index)] = true;
        ++received_;
        return true;
    }

    [[nodiscard]] bool complete() const { return received_ == seen_.size(); }
    Bytes take() { return std::move(bytes_); }

private:
    std::int64_t length_;
    Bytes bytes_;
    std::vector<bool> seen_;
    std::size_t received_ = 0;
};

// One BLOB read statement by statement. Every row names the row version it
// was read from, so that slices of two versions are never joined into one.
class SliceReader {
public:
    SliceReader(DbConnection& db, KeptStatements& kept, const BlobSelect& select)
        : db_(db), kept_(kept), select_(select) {}

    BlobRead read() {
        for (std::int64_t first = 1;; first += kStatementBytes) {
            if (std::optional<BlobRead> failed = readStatement(first)) {
                return std::move(*failed);
            }
            if (!length_ || first + kStatementBytes > *length_) {
                break;
            }
        }
        if (!length_) {
            return {0, {}, std::nullopt};
        }
        if (!assembly_) {
            return {0, {}, Bytes()};
        }
        if (!assembly_->complete()) {
            return {-1, "The row went away while it was read", std::nullopt};
        }
        return {0, {}, assembly_->take()};
    }

private:
    // nullopt when the statement's rows were all sound slices.
    std::optional<BlobRead> readStatement(std::int64_t first) {
        DbStatement* rows = sliceRows(db_, kept_, select_, first);
        if (!rows) {
            return BlobRead{-1, db_.lastError(), std::nullopt};
        }
        bool any = false;
        for (DbStep step = rows->next(); step != DbStep::Done; step = rows->next()) {
            if (step == DbStep::Error) {
                return BlobRead{-1, db_.lastError(), std::nullopt};
            }
            if (std::optional<BlobRead> failed = takeRow(*rows, any)) {
                return failed;
            }
            any = true;
        }
        if (!any) {
            return first == 1 ? BlobRead{100, {}, std::nullopt}
                              : BlobRead{-1, "The row went away while it was read", std::nullopt};
        }
        return std::nullopt;
    }

    // `again`: an earlier row of the same statement was read, so that any
    // difference comes from a second row rather than a change.
    std::optional<BlobRead> takeRow(DbStatement& rows, bool again) {
        std::optional<std::int64_t> length;
        std::optional<std::int64_t> version;
        std::optional<std::int64_t> start;
        if (!rows.readInteger(0, length) || !rows.readInteger(1, version) ||
            !rows.readInteger(2, start)) {
            return BlobRead{-1, db_.lastError(), std::nullopt};
        }
        if (!version_) {
            length_ = length;
            version_ = version;
            if (length && *length > 0) {
                assembly_.emplace(*length);
            }
        } else if (length != length_ || version != version_ || (again && !start)) {
            return BlobRead{-1, again ? kMoreRows : kChanged, std::nullopt};
        }
        return start ? takeSlice(rows, *start) : std::nullopt;
    }

    // The slice's text gets room for all of it and a byte more: psqlODBC loses
    // the last character of a text value that it hands over in several pieces.
    std::optional<BlobRead> takeSlice(DbStatement& rows, std::int64_t start) {
        if (length_ && start >= 1 && start <= *length_) {
            const std::int64_t bytes = std::min(kBlobSliceBytes, *length_ - start + 1);
            text_.resize(std::max(text_.size(), base64TextSize(bytes) + 2));
        }
        std::size_t size = 0;
        bool null = false;
        if (!rows.readBytesInto(3, text_, size, null)) {
            return BlobRead{-1, db_.lastError(), std::nullopt};
        }
        if (!assembly_ || null || !assembly_->add(start, text_.data(), size)) {
            const bool repeated = assembly_ && assembly_->has(start);
            return BlobRead{-1, repeated ? kMoreRows : kChanged, std::nullopt};
        }
        return std::nullopt;
    }

    DbConnection& db_;
    KeptStatements& kept_;
    const BlobSelect& select_;
    std::optional<std::int64_t> length_;
    std::optional<std::int64_t> version_;
    std::optional<SliceAssembly> assembly_;
    // The text of one slice at a time, its room reused for every slice.
    Bytes text_;
};

} // namespace

BlobRead readBlobInSlices(DbConnection& db, KeptStatements& kept, const BlobSelect& select) {
    return SliceReader(db, kept, select).read();
}

bool insertBlobInParts(DbConnection& db, const BlobRow& row, std::size_t part, std::string& error) {
    if (!db.inTransaction()) {
        error = "PostgreSQL refused to begin a transaction";
        return false;
    }
    const auto fail = [&] {
        error = db.lastError();
        return false;
    };
    if (!dbExecute(db,
                   "CREATE TEMP TABLE qlx_publish_parts (n integer, part bytea) ON COMMIT DROP") ||
        !dbExecute(db, "ALTER TABLE qlx_publish_parts ALTER COLUMN part SET STORAGE EXTERNAL")) {
        return fail();
    }
    const std::unique_ptr<DbStatement> insert =
        db.prepare("INSERT INTO qlx_publish_parts (n, part) VALUES (?, ?)");
    if (!insert) {
        return fail();
    }
    const Bytes& bytes = **row.bytes;
    std::int64_t n = 0;
    for (std::size_t offset = 0; offset < bytes.size(); offset += part) {
        const std::size_t size = std::min(part, bytes.size() - offset);
        if (!insert->execute({n++, DbBytes{bytes.data() + offset, size}})) {
            return fail();
        }
    }
    if (!dbExecute(db,
                   insertPrefix(row) +
                       "(SELECT string_agg(part, ''::bytea ORDER BY n) FROM qlx_publish_parts))",
                   row.values)) {
        return fail();
    }
    return true;
}

} // namespace qlx

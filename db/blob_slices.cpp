#include "db/blob_slices.h"

#include "db/base64_text.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
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

// The slices of a BLOB, decoded one at a time into one reused buffer and
// handed on in order, so that no more than a slice is held here. They must
// come in order and cover the value exactly once.
class SliceStream {
public:
    SliceStream(std::int64_t length, const BlobSink& sink) : length_(length), sink_(sink) {}

    // Whether the slice at `start` has been handed on already.
    [[nodiscard]] bool has(std::int64_t start) const { return start >= 1 && start - 1 < next_; }

    // False when the slice at `start` is not the next one, or the sink stops;
    // `sinkStopped` tells which.
    bool add(std::int64_t start, const char* text, std::size_t size) {
        const std::int64_t offset = start - 1;
        if (offset != next_ || offset >= length_) {
            return false;
        }
        const auto expected = static_cast<std::size_t>(std::min(kBlobSliceBytes, length_ - offset));
        slice_.resize(std::max(slice_.size(), expected));
        if (decodeBase64(text, size, slice_.data(), expected) != expected) {
            return false;
        }
        next_ += static_cast<std::int64_t>(expected);
        sinkStopped_ = !sink_(slice_.data(), expected);
        return !sinkStopped_;
    }

    [[nodiscard]] bool complete() const { return next_ == length_; }
    [[nodiscard]] bool sinkStopped() const { return sinkStopped_; }

private:
    std::int64_t length_;
    const BlobSink& sink_;
    Bytes slice_;
    std::int64_t next_ = 0;
    bool sinkStopped_ = false;
};

// One BLOB read statement by statement. Every row names the row version it
// was read from, so that slices of two versions are never joined into one.
class SliceReader {
public:
    // `sized` learns the BLOB's length before its first bytes reach `sink`.
    SliceReader(DbConnection& db, KeptStatements& kept, const BlobSelect& select,
                const BlobSink& sink, std::function<void(std::int64_t)> sized = {})
        : db_(db), kept_(kept), select_(select), sink_(sink), sized_(std::move(sized)) {}

    BlobStream read() {
        for (std::int64_t first = 1;; first += kStatementBytes) {
            if (std::optional<BlobStream> failed = readStatement(first)) {
                return std::move(*failed);
            }
            if (!length_ || first + kStatementBytes > *length_) {
                break;
            }
        }
        if (!length_) {
            return {0, {}, true};
        }
        if (stream_ && !stream_->complete()) {
            return {-1, "The row went away while it was read"};
        }
        return {0, {}};
    }

private:
    // nullopt when the statement's rows were all sound slices.
    std::optional<BlobStream> readStatement(std::int64_t first) {
        DbStatement* rows = sliceRows(db_, kept_, select_, first);
        if (!rows) {
            return BlobStream{-1, db_.lastError()};
        }
        bool any = false;
        for (DbStep step = rows->next(); step != DbStep::Done; step = rows->next()) {
            if (step == DbStep::Error) {
                return BlobStream{-1, db_.lastError()};
            }
            if (std::optional<BlobStream> failed = takeRow(*rows, any)) {
                return failed;
            }
            any = true;
        }
        if (!any) {
            return first == 1 ? BlobStream{100, {}}
                              : BlobStream{-1, "The row went away while it was read"};
        }
        return std::nullopt;
    }

    // `again`: an earlier row of the same statement was read, so that any
    // difference comes from a second row rather than a change.
    std::optional<BlobStream> takeRow(DbStatement& rows, bool again) {
        std::optional<std::int64_t> length;
        std::optional<std::int64_t> version;
        std::optional<std::int64_t> start;
        if (!rows.readInteger(0, length) || !rows.readInteger(1, version) ||
            !rows.readInteger(2, start)) {
            return BlobStream{-1, db_.lastError()};
        }
        if (!version_) {
            length_ = length;
            version_ = version;
            if (length && *length > 0) {
                if (sized_) {
                    sized_(*length);
                }
                stream_.emplace(*length, sink_);
            }
        } else if (length != length_ || version != version_ || (again && !start)) {
            return BlobStream{-1, again ? kMoreRows : kChanged};
        }
        return start ? takeSlice(rows, *start) : std::nullopt;
    }

    // The slice's text gets room for all of it and a byte more: psqlODBC loses
    // the last character of a text value that it hands over in several pieces.
    std::optional<BlobStream> takeSlice(DbStatement& rows, std::int64_t start) {
        if (length_ && start >= 1 && start <= *length_) {
            const std::int64_t bytes = std::min(kBlobSliceBytes, *length_ - start + 1);
            text_.resize(std::max(text_.size(), base64TextSize(bytes) + 2));
        }
        std::size_t size = 0;
        bool null = false;
        if (!rows.readBytesInto(3, text_, size, null)) {
            return BlobStream{-1, db_.lastError()};
        }
        if (!stream_ || null || !stream_->add(start, text_.data(), size)) {
            if (stream_ && stream_->sinkStopped()) {
                return BlobStream{-1, kSinkStopped};
            }
            const bool repeated = stream_ && stream_->has(start);
            return BlobStream{-1, repeated ? kMoreRows : kChanged};
        }
        return std::nullopt;
    }

    DbConnection& db_;
    KeptStatements& kept_;
    const BlobSelect& select_;
    const BlobSink& sink_;
    std::function<void(std::int64_t)> sized_;
    std::optional<std::int64_t> length_;
    std::optional<std::int64_t> version_;
    std::optional<SliceStream> stream_;
    // The text of one slice at a time, its room reused for every slice.
    Bytes text_;
};

} // namespace

BlobStream streamBlobInSlices(DbConnection& db, KeptStatements& kept, const BlobSelect& select,
                              const BlobSink& sink) {
    return SliceReader(db, kept, select, sink).read();
}

BlobRead readBlobInSlices(DbConnection& db, KeptStatements& kept, const BlobSelect& select) {
    Bytes bytes;
    const BlobSink append = [&](const char* data, std::size_t size) {
        bytes.insert(bytes.end(), data, data + size);
        return true;
    };
    // One buffer of the package's final size: the package is held once.
    const auto reserve = [&](std::int64_t length) {
        bytes.reserve(static_cast<std::size_t>(length));
    };
    const BlobStream stream = SliceReader(db, kept, select, append, reserve).read();
    if (stream.sqlCode != 0) {
        return {stream.sqlCode, stream.error, std::nullopt};
    }
    if (stream.isNull) {
        return {0, {}, std::nullopt};
    }
    return {0, {}, std::move(bytes)};
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

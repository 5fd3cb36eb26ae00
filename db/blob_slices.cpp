#include "db/blob_slices.h"

#include "db/base64_text.h"

#include <algorithm>

namespace qlx {

namespace {

constexpr const char* kChanged = "The BLOB changed while it was read";

// The BLOB's length, nullopt for NULL; `read` holds the error when there is
// no single row.
std::optional<std::optional<std::int64_t>> blobLength(DbConnection& db, const BlobSelect& select,
                                                      BlobRead& read) {
    const auto values =
        singleRowIntegers(db, {"octet_length(" + select.blobColumn + ")"}, select, read);
    if (!values) {
        return std::nullopt;
    }
    return values->front();
}

// Every slice of the BLOB, each its own row: its start (1-based) and its
// bytes as base64 text.
std::unique_ptr<DbStatement> sliceRows(DbConnection& db, const BlobSelect& select,
                                       std::int64_t length) {
    std::unique_ptr<DbStatement> slices = db.prepare(
        "SELECT s, encode(substring(" + select.blobColumn +
        ", CAST(s AS integer), CAST(? AS integer)), 'base64') || chr(10) FROM " + select.table +
        ", generate_series(CAST(1 AS bigint), CAST(? AS bigint), CAST(? AS bigint)) "
        "AS s" +
        whereClause(select.keys));
    std::vector<DbParam> params{kBlobSliceBytes, length, kBlobSliceBytes};
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
    SliceStream(std::int64_t length, const BlobSink& sink)
        : length_(length), sink_(sink),
          slice_(static_cast<std::size_t>(std::min(kBlobSliceBytes, length))) {}

    // False when the slice at `start` is not the next one, or the sink
    // stops; `sinkStopped` tells which.
    bool add(std::int64_t start, const Bytes& text) {
        const std::int64_t offset = start - 1;
        if (offset != next_ || offset >= length_) {
            return false;
        }
        const auto expected = static_cast<std::size_t>(std::min(kBlobSliceBytes, length_ - offset));
        // psqlODBC hands text over as bytes with a terminating zero in place
        // of its last character, which is why the text ends in a line break.
        std::size_t textSize = text.size();
        if (textSize > 0 && text[textSize - 1] == '\0') {
            --textSize;
        }
        if (decodeBase64(text.data(), textSize, slice_.data(), expected) != expected) {
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

// Every slice of the BLOB of `length` bytes, handed to `sink` in order.
BlobStream sliceThrough(DbConnection& db, const BlobSelect& select, std::int64_t length,
                        const BlobSink& sink) {
    SliceStream stream(length, sink);
    const std::unique_ptr<DbStatement> slices = sliceRows(db, select, length);
    if (!slices) {
        return {-1, db.lastError()};
    }
    for (DbStep step = slices->next(); step != DbStep::Done; step = slices->next()) {
        std::optional<std::int64_t> start;
        std::optional<Bytes> slice;
        if (step == DbStep::Error || !slices->readInteger(0, start) ||
            !slices->readBytes(1, slice)) {
            return {-1, db.lastError()};
        }
        if (!slice || !stream.add(start.value_or(0), *slice)) {
            return {-1, stream.sinkStopped() ? kSinkStopped : kChanged};
        }
    }
    if (!stream.complete()) {
        return {-1, "The row went away while it was read"};
    }
    return {0, {}};
}

} // namespace

BlobStream streamBlobInSlices(DbConnection& db, const BlobSelect& select, const BlobSink& sink) {
    BlobRead read;
    const auto length = blobLength(db, select, read);
    if (!length) {
        return {read.sqlCode, read.error};
    }
    if (!*length) {
        return {0, {}, true};
    }
    return sliceThrough(db, select, **length, sink);
}

BlobRead readBlobInSlices(DbConnection& db, const BlobSelect& select) {
    BlobRead read;
    const auto length = blobLength(db, select, read);
    if (!length) {
        return read;
    }
    if (!*length) {
        return {0, {}, std::nullopt};
    }
    Bytes bytes;
    bytes.reserve(static_cast<std::size_t>(**length));
    const BlobStream stream =
        sliceThrough(db, select, **length, [&](const char* data, std::size_t size) {
            bytes.insert(bytes.end(), data, data + size);
            return true;
        });
    if (stream.sqlCode != 0) {
        return {stream.sqlCode, stream.error, std::nullopt};
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

#pragma once

#include "db/blob_rows.h"
#include "db/kept_statements.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace qlx {

// Bytes per slice where a BLOB is read in slices: small enough that the
// server's buffers for a slice are reused from its heap rather than mapped
// and faulted in afresh for every slice (a quarter of its CPU time at 1 MiB),
// large enough that the rows' own cost does not show.
inline constexpr std::int64_t kBlobSliceBytes = std::int64_t{256} * 1024;
// Slices per statement, whose whole result the driver holds as text: 2 MiB
// of package costs about 6 MB of the reader's memory; half as much made the
// server's CPU time a fifth larger for 200 MB, twice as much saved nothing.
inline constexpr std::int64_t kBlobSlicesPerStatement = 8;

// PostgreSQL: the driver would decode a bytea from its hex text one character
// at a time, which costs more than the transfer. The server sends each slice
// as base64 text instead (four characters for three bytes), which the driver
// hands over untouched and which is decoded here straight into place. Each
// statement returns a few slices as rows, with the BLOB's length and the
// row's version, so that the first statement also tells NULL, empty and
// missing apart, and a BLOB replaced between two statements is refused.
// The statement is prepared once per connection in `kept`.
[[nodiscard]] BlobRead readBlobInSlices(DbConnection& db, KeptStatements& kept,
                                        const BlobSelect& select);
// The same slices handed to `sink` one by one as they are decoded, in order.
[[nodiscard]] BlobStream streamBlobInSlices(DbConnection& db, KeptStatements& kept,
                                            const BlobSelect& select, const BlobSink& sink);

// Sends the BLOB part by part into a temporary table and joins the parts on
// the server, so that neither side holds more than the package and one part
// at a time; appending to the row instead would rewrite the growing value once
// per part. The temporary table lives until the commit, so this needs the
// caller's transaction.
bool insertBlobInParts(DbConnection& db, const BlobRow& row, std::size_t part, std::string& error);

} // namespace qlx

#pragma once

#include "base/bytes.h"
#include "db/blob_rows.h"

#include <optional>
#include <string>
#include <vector>

namespace qlx {

class Transaction;

// One BLOB column of the single row whose key columns equal their values,
// read by the connection's back end. The buffer gets the bytes, or nullopt
// for a NULL BLOB; it keeps its value when no row, more than one row, or an
// error is met. SQLCode: 0, 100 (no row) or -1. Table and column names are
// the program's own identifiers. The bytes are read in pieces into a buffer
// of their final size, so that the package is held once.
void selectSingleBlob(Transaction& transaction, const std::string& table,
                      const std::string& blobColumn, const std::vector<BlobKey>& keys,
                      std::optional<Bytes>& buffer);

// The same BLOB handed to `sink` piece by piece as it is read; `isNull` says
// whether it was NULL. SQLCode as above; -1 also when the sink stopped it.
void streamSingleBlob(Transaction& transaction, const BlobSelect& select, const BlobSink& sink,
                      bool& isNull);

// True for a plain SQL identifier (ASCII letters, digits, underscore, no
// leading digit).
[[nodiscard]] bool isPlainIdentifier(const std::string& name);

} // namespace qlx

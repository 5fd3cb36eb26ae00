#pragma once

#include "base/bytes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace qlx {

class Transaction;

// A column of the row's key and the value it must equal, bound as given.
struct BlobKey {
    std::string column;
    std::variant<std::string, std::int64_t> value;
};

// One BLOB column of the single row whose key columns equal their values.
// The buffer gets the bytes, or nullopt for a NULL BLOB; it keeps its value
// when no row, more than one row, or an error is met. SQLCode: 0, 100 (no
// row) or -1. Table and column names are the program's own identifiers.
// The bytes are read in pieces into a buffer of their final size, so that the
// package is held once.
void selectSingleBlob(Transaction& transaction, const std::string& table,
                      const std::string& blobColumn, const std::vector<BlobKey>& keys,
                      std::optional<Bytes>& buffer);

// Bytes per slice where a BLOB is read in slices (PostgreSQL): small enough
// that the server encodes a slice while the last one is decoded here, large
// enough that the rows' own cost does not show.
inline constexpr std::int64_t kBlobSliceBytes = std::int64_t{1024} * 1024;

// True for a plain SQL identifier (ASCII letters, digits, underscore, no
// leading digit).
[[nodiscard]] bool isPlainIdentifier(const std::string& name);

} // namespace qlx

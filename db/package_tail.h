#pragma once

#include "base/bytes.h"
#include "db/repository.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace qlx {

class Transaction;

// A package's length and its last bytes, read without the rest of it.
struct PackageTail {
    std::int64_t length = 0;
    Bytes tail;
};

// The length and the last `size` bytes (all of them when it is shorter) of the
// package of `row`; nullopt when the row or its package is not there, the
// select fails, or the back end has no way to read a part of a BLOB here.
[[nodiscard]] std::optional<PackageTail> selectPackageTail(Transaction& transaction,
                                                           const std::string& fileTable,
                                                           const FileListRow& row,
                                                           std::size_t size);

} // namespace qlx

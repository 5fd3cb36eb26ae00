#pragma once

#include "update/bytes.h"
#include "update/repository.h"

#include <cstddef>
#include <future>
#include <optional>
#include <string>
#include <vector>

namespace qlx {

class Transaction;

// The packages of a file list, each selected as selectPackageOfRow selects it,
// the next one while the current one is written and unpacked: reading from
// the database and writing to disk then take the time of the slower of the
// two, not of both. Only while the current package is small is the next one
// held beside it, so that memory stays within the largest package and
// kPrefetchBelow.
class PackagePrefetch {
public:
    static constexpr std::size_t kPrefetchBelow = std::size_t{64} * 1024 * 1024;

    // The transaction is used by one thread at a time: by the fetch under way,
    // or by the caller of take().
    PackagePrefetch(Transaction& transaction, std::string fileTable,
                    const std::vector<FileListRow>& rows);
    // Waits for a fetch under way.
    ~PackagePrefetch();
    PackagePrefetch(const PackagePrefetch&) = delete;
    PackagePrefetch& operator=(const PackagePrefetch&) = delete;

    // The package of row `index`, taken in increasing order: nullopt when it
    // is NULL, missing or could not be selected.
    std::optional<Bytes> take(std::size_t index);

private:
    std::optional<Bytes> fetch(std::size_t index);

    Transaction& transaction_;
    std::string fileTable_;
    const std::vector<FileListRow>& rows_;
    std::optional<std::size_t> pendingIndex_;
    std::future<std::optional<Bytes>> pending_;
};

} // namespace qlx

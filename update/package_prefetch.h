#pragma once

#include "update/bytes.h"
#include "update/package_key.h"
#include "update/repository.h"

#include <atomic>
#include <cstddef>
#include <future>
#include <optional>
#include <string>
#include <vector>

namespace qlx {

class Transaction;

// A package as its row gives it: nullopt when it is NULL, missing or could
// not be selected; and, when packages are checked, whether the publisher's
// key signed these very bytes.
struct FetchedPackage {
    std::optional<Bytes> bytes;
    bool signedByPublisher = false;
};

// The packages of a file list, each selected as selectPackageOfRow selects it,
// the next one while the current one is written and unpacked: reading from
// the database and writing to disk then take the time of the slower of the
// two, not of both. Only while the current package is small is the next one
// held beside it, so that memory stays within the largest package and
// kPrefetchBelow.
//
// With a key, each package's signature is checked before take() returns it.
// Hashing a package costs about as much CPU as writing it, so it goes to the
// side that would otherwise wait: the fetching thread checks what it read
// while the caller is still busy with the package before (a fast database);
// when the caller is already waiting for it (a slow one), the fetch hands it
// over unchecked, the next fetch starts at once, and the caller checks it
// meanwhile.
class PackagePrefetch {
public:
    static constexpr std::size_t kPrefetchBelow = std::size_t{64} * 1024 * 1024;

    // The transaction is used by one thread at a time: by the fetch under way,
    // or by the caller of take(). Without a key nothing is checked.
    PackagePrefetch(Transaction& transaction, std::string fileTable,
                    const std::vector<FileListRow>& rows, std::optional<PackageKey> key);
    // Waits for a fetch under way.
    ~PackagePrefetch();
    PackagePrefetch(const PackagePrefetch&) = delete;
    PackagePrefetch& operator=(const PackagePrefetch&) = delete;

    // The package of row `index`, taken in increasing order.
    FetchedPackage take(std::size_t index);

private:
    struct Fetched {
        FetchedPackage package;
        bool checked = false;
    };
    Fetched fetch(std::size_t index);
    void check(Fetched& fetched) const;

    Transaction& transaction_;
    std::string fileTable_;
    const std::vector<FileListRow>& rows_;
    std::optional<PackageKey> key_;
    std::optional<std::size_t> pendingIndex_;
    std::future<Fetched> pending_;
    // Set while the caller waits for the pending fetch: it checks that package.
    std::atomic<bool> callerWaits_{false};
};

} // namespace qlx

#pragma once

#include "base/bytes.h"
#include "package/package_key.h"
#include "package/package_place.h"
#include "package/package_signature.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace qlx {

// A package as its row gives it: nullopt when it is NULL, missing or could
// not be selected; and, when packages are checked, whether a publisher's key
// signed these very bytes for the row they came from.
struct FetchedPackage {
    std::optional<Bytes> bytes;
    SignatureCheck signature = SignatureCheck::NotSigned;
};

// The packages of a file list, each read by the caller's reader (which
// selects one row's BLOB), read ahead on a thread of its own while the caller
// writes and unpacks the ones before: reading from the database and unpacking
// then take the time of the slower of the two, not of both. Memory stays
// within the largest package and kReadAhead: the next package is read once
// the caller has released the one it took last (written it to disk, long
// before it is unpacked), and beside it only while the two stay below
// kReadAhead, so that small packages are read further ahead, as many as fit,
// and a small package after a large one does not leave the caller waiting.
//
// With a key, each package's signature is checked before take() returns it.
// Hashing a package costs about as much CPU as writing it, so it goes to the
// side that would otherwise wait: the reader checks what it read while the
// caller is still busy with earlier packages (a fast database); when the
// caller is already waiting for a package (a slow one), the reader hands it
// over unchecked and reads on, and the caller checks it meanwhile.
class PackagePrefetch {
public:
    static constexpr std::size_t kReadAhead = std::size_t{1} * 1024 * 1024;
    // Nor more packages than this: thousands of tiny ones would otherwise
    // hold as much memory in their bookkeeping as in their bytes, and reading
    // further ahead gains nothing.
    static constexpr std::size_t kReadAheadCount = 64;

    // Reads the package of row `index`: bytes nullopt for a NULL, missing or
    // failed BLOB. A package it returns as Signed (a kept copy it checked
    // already) is not hashed again. Called on the reader's thread, one row at
    // a time.
    using Reader = std::function<FetchedPackage(std::size_t index)>;
    // The place row `index` was signed for.
    using PlaceOf = std::function<PackagePlace(std::size_t index)>;

    // Starts reading rows 0 to `count` - 1. Until the object is gone, whatever
    // `reader` uses (the transaction) belongs to the reader's thread. Without
    // keys nothing is checked; with them, row i is checked against placeOf(i),
    // made when it is needed: a list of many packages would otherwise hold
    // every row's names twice.
    PackagePrefetch(std::size_t count, Reader reader, PackageKeys keys, PlaceOf placeOf);
    // Stops the reader after the package it is reading.
    ~PackagePrefetch();
    PackagePrefetch(const PackagePrefetch&) = delete;
    PackagePrefetch& operator=(const PackagePrefetch&) = delete;

    // The package of row `index`, taken once each in increasing order; the
    // one taken before counts as released.
    FetchedPackage take(std::size_t index);
    // The caller holds the bytes of the package taken last no more.
    void released();

private:
    struct Fetched {
        std::size_t index = 0;
        FetchedPackage package;
        bool checked = false;
    };
    void read();
    void check(Fetched& fetched) const;

    std::size_t count_;
    Reader reader_;
    PackageKeys keys_;
    PlaceOf placeOf_;

    // Shared with the reader, under mutex_.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Fetched> ready_; // read and not taken yet, in row order
    std::size_t readyBytes_ = 0;
    std::size_t takenBytes_ = 0;        // of the package taken last, until released
    std::optional<std::size_t> wanted_; // the row the caller waits for
    std::exception_ptr failure_;
    bool stop_ = false;
    std::thread thread_;
};

} // namespace qlx

#pragma once

#include "package/package_signature.h"
#include "platform/exclusive_file.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace qlx {

// A package as its row gives it, already on disk: `file` is open and locked
// on `path`, so that nothing changes it before it is unpacked; nullptr when
// the row's BLOB is NULL, missing, could not be selected or written. A fresh
// copy lies under a temporary name and replaces `keepAs` once it is used; a
// copy kept from an earlier run has `keepAs` empty.
struct FetchedPackage {
    std::unique_ptr<ExclusiveFile> file;
    std::string path;
    std::string keepAs;
    std::uint64_t size = 0;
    // The row had a BLOB (not NULL), though it may not be on disk.
    bool found = false;
    // The BLOB was there but could not go to disk.
    bool writeFailed = false;
    // With keys: whether a publisher's key signed these very bytes for the
    // row they came from.
    SignatureCheck signature = SignatureCheck::NotSigned;
};

// The packages of a file list, each fetched to disk by the caller's reader
// (which streams one row's BLOB into its file, checking it on the way) on a
// thread of its own while the caller unpacks the ones before: reading from
// the database and unpacking then take the time of the slower of the two,
// not of both. Since the packages wait on disk, memory does not grow with
// how far the reader is ahead; kReadAhead and kReadAheadCount only keep it
// from filling the disk's cache far beyond what the caller needs next.
class PackagePrefetch {
public:
    static constexpr std::uint64_t kReadAhead = std::uint64_t{16} * 1024 * 1024;
    // Nor more packages than this: each holds a file open.
    static constexpr std::size_t kReadAheadCount = 64;

    // Fetches the package of row `index`. Called on the reader's thread, one
    // row at a time.
    using Reader = std::function<FetchedPackage(std::size_t index)>;

    // Starts fetching rows 0 to `count` - 1. Until the object is gone,
    // whatever `reader` uses (the transaction) belongs to the reader's thread.
    PackagePrefetch(std::size_t count, Reader reader);
    // Stops the reader after the package it is fetching.
    ~PackagePrefetch();
    PackagePrefetch(const PackagePrefetch&) = delete;
    PackagePrefetch& operator=(const PackagePrefetch&) = delete;

    // The package of row `index`, taken once each in increasing order.
    // While it is not there yet, `idle` runs every few milliseconds (the
    // window processes its events).
    FetchedPackage take(std::size_t index, const std::function<void()>& idle);

private:
    struct Fetched {
        std::size_t index = 0;
        FetchedPackage package;
    };
    void read();

    std::size_t count_;
    Reader reader_;

    // Shared with the reader, under mutex_.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Fetched> ready_; // fetched and not taken yet, in row order
    std::uint64_t readyBytes_ = 0;
    std::optional<std::size_t> wanted_; // the row the caller waits for
    std::exception_ptr failure_;
    bool stop_ = false;
    std::thread thread_;
};

} // namespace qlx

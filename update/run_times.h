#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace qlx {

// Where the time of a build-list update goes, for the benchmarks: the BLOB
// reads (on the reader's thread, beside the rest, with each package streamed
// into its file and hashed on the way), the caller's waits for a package,
// putting each fetched package in place in upt/, the staging (inflating, with
// its flushes) and the commit (moves and flushes). Only builds for tests and benchmarks write
// it out, to the file that QLX_UPT_TIMES names.
class RunTimes {
public:
    enum Part : std::size_t { Read, Wait, Write, Stage, Commit, kParts };
    using Clock = std::chrono::steady_clock;

    RunTimes() : start_(Clock::now()) {}

    // Adds the time since `from` to `part`; safe from any thread.
    void add(Part part, Clock::time_point from) {
        parts_.at(part) +=
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - from).count();
    }
    // The lines of the split, each part's seconds and share of the time
    // since construction.
    [[nodiscard]] std::string report() const;
    // Writes report() to the file QLX_UPT_TIMES names, in builds that allow it.
    void save() const;

private:
    Clock::time_point start_;
    std::array<std::atomic<std::int64_t>, kParts> parts_{};
};

} // namespace qlx

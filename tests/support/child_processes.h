#pragma once

#include "support/test_files.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qlx::testing {

// Copies of a harmless program (sleep) under the names of the programs the
// updater looks for, started as children of the test and always reaped, so
// that no zombie or stray process outlives a test.
class ChildProcesses {
public:
    ChildProcesses();
    ~ChildProcesses();
    ChildProcesses(const ChildProcesses&) = delete;
    ChildProcesses& operator=(const ChildProcesses&) = delete;

    [[nodiscard]] bool valid() const { return dir_.isValid(); }
    [[nodiscard]] const std::string& folder() const { return dir_.path(); }

    // Starts the copy named `name` (made on first use); 0 when it failed.
    std::uint32_t start(const std::string& name);
    // Waits for `pid` to end (after someone killed it); false when it did not
    // end on its own within a few seconds, in which case it is killed.
    bool reap(std::uint32_t pid);
    // True while the child `pid` runs; reaps it once it has ended.
    bool alive(std::uint32_t pid);
    // Kills and reaps every child still running.
    void stopAll();
    [[nodiscard]] const std::vector<std::uint32_t>& running() const { return running_; }

private:
    test::TempDir dir_;
    std::vector<std::uint32_t> running_;
};

// A folder standing in for /proc that lists only the given processes, each a
// link to its real /proc entry: the table reads real processes but cannot see,
// and so cannot terminate, anybody else's.
class ProcView {
public:
    explicit ProcView(const std::vector<std::uint32_t>& pids);
    [[nodiscard]] const std::string& root() const { return dir_.path(); }

private:
    test::TempDir dir_;
};

} // namespace qlx::testing

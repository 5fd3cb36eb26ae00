#pragma once

#include <string>

namespace qlx {

// The packages of one update, unpacked by EZip as one change: each is staged
// beside its target folder, and only when all are sound are they moved into
// place together. The run is journaled in one file, so that the next start
// finishes or undoes a run that was killed. Results are EZip's codes, 0 for
// success; a library or entry that cannot be loaded throws UnexpectedError.
class PackageRun {
public:
    explicit PackageRun(std::string journal);
    ~PackageRun();
    PackageRun(const PackageRun&) = delete;
    PackageRun& operator=(const PackageRun&) = delete;

    // Settles whatever a killed run left in `journal`; EZip is only loaded
    // when there is something to settle.
    static long recover(const std::string& journal);

    // Stages one package; the run begins with the first.
    long stage(const std::string& archive, const std::string& folder);
    // Moves every staged package into place; 0 also when none was staged.
    long commit();
    // Drops everything staged; a run that is neither committed nor aborted
    // is aborted when the object goes.
    void abort();
    // After a commit that another program kept from replacing a file
    // (EZIP_E_IN_USE), that file's path; empty otherwise.
    [[nodiscard]] std::string busyFile() const;

private:
    std::string journal_;
    bool open_ = false;
};

// The run journal of the updater in its installation folder `folder`.
[[nodiscard]] std::string runJournalPath(const std::string& folder);

} // namespace qlx

#pragma once

// What a run of the updater tells whoever started it, as its exit status: a
// deployment tool or a script can tell a good update from every other end.

namespace qlx {

enum ExitStatus : int {
    // The update ran and installed everything (or there was nothing to install).
    kInstalledStatus = 0,
    // The start was refused: no arguments, a second updater, the process table
    // unavailable, client programs left running.
    kStartRefusedStatus = 1,
    // The update database could not be reached.
    kDatabaseUnreachableStatus = 2,
    // An outside library or one of its entries could not be loaded.
    kUnexpectedErrorStatus = 3,
    // The update failed: a query or a package failed, and nothing was installed.
    kUpdateFailedStatus = 4,
    // Every file is installed, but the settings could not be saved or the disk
    // reported an error afterwards.
    kInstalledWithWarningStatus = 5,
};

} // namespace qlx

#pragma once

#include "libs/ezip/archive_plan.h"

namespace ezip {

// Moves the staged files into the destination, creating the plan's folders
// first. A file it replaces is first hard-linked into the staging folder (or,
// where the file system has no hard links, moved there), so that every step
// can be undone: on a failure the moves are undone in reverse order, the
// replaced files are put back and the created folders removed. Each single
// replacement is one rename, so a reader of the destination sees the old or
// the new file, never a part of one; the set of files as a whole changes one
// file at a time. Returns EZIP_OK, EZIP_E_INSTALL (undone) or EZIP_E_ROLLBACK.
int installStaged(int destinationFd, int stagingFd, const Plan& plan);

// Removes every file of the staging folder `name` below the destination and
// the folder itself.
void removeStaging(int destinationFd, const char* name);

} // namespace ezip

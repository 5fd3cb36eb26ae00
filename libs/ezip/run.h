#pragma once

#include <string>

namespace ezip {

// A run unpacks several archives as one change: each is checked and inflated
// into a staging folder beside its destination (stageIntoRun), and only when
// every one of them is sound are all their files moved into place, in the
// order they were staged, so that a later archive's file lands over an
// earlier one's (commitRun). A move that fails puts back everything moved
// before it. The journal file records each step before it is taken, so that
// recoverRun can finish or undo a run that a crash interrupted. Every
// function returns EZIP_OK or an EzipCode.

// Starts a run; EZIP_E_JOURNAL when a run is open or was interrupted (recover
// it first) or the journal cannot be written. Staging folders that a settled
// run could not remove, because another program held a file in them, are
// taken over by the new run, whose end removes them. A durable run also
// survives a power loss: every file is whole, old or new, afterwards; any
// run survives a killed process.
int beginRun(const std::string& journal, bool durable = true);

// Checks and inflates one archive into a staging folder inside the existing
// folder `destination`. Nothing outside the staging folder changes; on a
// failure nothing of this archive is left, and the run goes on.
int stageIntoRun(const std::string& journal, const std::string& archive,
                 const std::string& destination);

// Moves every staged file into place and ends the run. On EZIP_E_INSTALL
// every destination is as it was before the run; on EZIP_E_ROLLBACK the
// journal stays for recoverRun to try again.
int commitRun(const std::string& journal);

// Ends a run that was not committed, removing everything it staged.
int abortRun(const std::string& journal);

// Settles a run that a killed process left: one that had not reached its
// commit is dropped, a commit under way is finished (or undone when a move
// fails), an undo under way is completed, and every staging folder is
// removed, or left to a later run while another program holds a file in it.
// EZIP_OK when no journal was there or the run was finished; EZIP_E_INSTALL
// when it was undone.
int recoverRun(const std::string& journal);

} // namespace ezip

#pragma once

#include "libs/ezip/run_journal.h"

#include <string>

namespace ezip {

// Decides the commit's flags (which folders the run makes, which targets
// hold a file before their move), flushes the staged files to disk and
// writes the journal's commit point. Nothing is moved yet.
int prepareCommit(const std::string& journalPath, Journal& journal);

// Takes every move of a committed journal that is not yet taken, and ends the
// run; a move that fails undoes the run. Taking moves again after a crash is
// safe: a move whose staged file is gone was taken. `fresh` when this
// process prepared the commit just now, which spares looking at each file.
int finishCommit(const std::string& journalPath, Journal& journal, bool fresh = false);

// Puts back every file a committed run replaced, removes the files and
// folders it added, and ends the run. EZIP_E_INSTALL when everything was put
// back; EZIP_E_ROLLBACK (the journal kept for a later try) otherwise.
int undoCommit(const std::string& journalPath, Journal& journal);

// Removes the run's staging folders and then its journal. A folder that
// cannot go (another program holds a file in it) stays in the journal, which
// then holds nothing else: the run is settled, and a later beginRun takes the
// folders over. False when the journal could not be removed or rewritten, or
// when a folder stays for another reason than files another program holds.
bool removeRun(const std::string& journalPath, const Journal& journal);

} // namespace ezip

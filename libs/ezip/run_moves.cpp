#include "libs/ezip/run_moves.h"

#include "libs/ezip/ezip_codes.h"
#include "libs/ezip/in_use.h"
#include "platform/file_handle.h"
#include "platform/files.h"

#include <cstdint>
#include <iterator>
#include <optional>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace ezip {

namespace {

using Kind = qlx::FileKind;

// Writes every file below the run's staging folders to disk, one call a
// file system: what is renamed into place must be whole after a power loss.
bool syncStagingFileSystems(const Journal& journal) {
    if (!journal.durable) {
        return true;
    }
    std::unordered_set<std::uint64_t> synced;
    for (const auto& folder : journal.stagingFolders) {
        const auto device = qlx::deviceOf(folder);
        if (!device) {
            continue; // a staging folder whose archive failed and was removed
        }
        if (synced.insert(*device).second && !qlx::syncFileSystemOf(folder)) {
            return false;
        }
    }
    return true;
}

enum class Taken { Done, Busy, NoSpace, Failed };

Taken takenAs(qlx::Replaced replaced) {
    switch (replaced) {
    case qlx::Replaced::Done:
        return Taken::Done;
    case qlx::Replaced::Busy:
        return Taken::Busy;
    case qlx::Replaced::NoSpace:
        return Taken::NoSpace;
    case qlx::Replaced::Failed:
        break;
    }
    return Taken::Failed;
}

// What a commit that was undone whole tells: the file another program kept,
// a full disk, or a move that failed for another reason.
int undoneBecause(Taken taken) {
    switch (taken) {
    case Taken::Busy:
        return EZIP_E_IN_USE;
    case Taken::NoSpace:
        return EZIP_E_NO_SPACE;
    case Taken::Done:
    case Taken::Failed:
        break;
    }
    return EZIP_E_INSTALL;
}

// Whether the copy of the file `path` that failed to be written beside it
// lacked the room: a write that runs out of it may report success for what
// fit and no error for the rest, so the room left is what tells.
bool noRoomForCopyOf(const std::string& path) {
    constexpr std::uint64_t pageSlack = 4096;
    const qlx::FileHandle folder = qlx::openFolder(qlx::parentOf(path), /*followLink=*/true);
    const std::optional<qlx::FreeSpace> space =
        folder.isOpen() ? qlx::freeSpaceOf(folder) : std::nullopt;
    const std::optional<std::uint64_t> size =
        qlx::fileSize(qlx::openForReading(path, /*sequential=*/true));
    return space && size && space->bytes < *size + pageSlack;
}

// Keeps the file at the target under the backup name: a hard link leaves the
// target in place, so that no moment of the commit lacks it.
Taken keepBackup(const JournalMove& move) {
    if (qlx::hardLink(move.target, move.backup)) {
        return Taken::Done;
    }
    return takenAs(qlx::replaceFile(move.target, move.backup));
}

// `fresh`: this process staged the run and has moved nothing yet, so every
// staged file is there, no backup is, and a target that held no file at the
// commit point holds none now.
Taken takeMove(const JournalMove& move, bool fresh) {
    if (!fresh && qlx::kindOf(move.staged) == Kind::Missing) {
        return Taken::Done; // taken before a crash
    }
    const Kind target = fresh && !move.hadOriginal ? Kind::Missing : qlx::kindOf(move.target);
    if (target == Kind::Folder || target == Kind::Unknown) {
        return Taken::Failed;
    }
    const Kind backup = fresh ? Kind::Missing : qlx::kindOf(move.backup);
    if (move.keepMode) {
        // A package made on Windows would otherwise turn an installed program
        // into a file nobody can start.
        const auto mode = qlx::permissionsOf(backup != Kind::Missing ? move.backup : move.target);
        if (mode && !qlx::setPermissions(move.staged, *mode)) {
            return Taken::Failed;
        }
    }
    if (target != Kind::Missing && backup == Kind::Missing) {
        if (!waitWhileHeld(move.target)) {
            return Taken::Busy;
        }
        if (const Taken kept = keepBackup(move); kept != Taken::Done) {
            return kept;
        }
    }
    // The image that a running program was started from stays beside the
    // backup until the run's staging folder goes.
    return takenAs(replaceInUse(move.staged, move.target, move.backup + ".in-use"));
}

bool makeFolders(const Journal& journal) {
    for (const auto& folder : journal.folders) {
        if (folder.create && !qlx::makeFolder(folder.path) &&
            qlx::kindOf(folder.path) != Kind::Folder) {
            return false;
        }
    }
    return true;
}

// Decides which folders the run makes and which moves it takes: a file that
// a later archive of the run brings too is only moved once, from the later
// archive, so that no moment of the commit shows a file of a build that is
// neither the installed one nor the last. The sets only look at the
// journal's own strings, which a run of many packages holds once.
void decideMoves(Journal& journal) {
    std::unordered_set<std::string_view> folders;
    std::unordered_set<std::string_view> made;
    for (auto& folder : journal.folders) {
        folder.create =
            folders.insert(folder.path).second && qlx::kindOf(folder.path) == Kind::Missing;
        if (folder.create) {
            made.insert(folder.path);
        }
    }
    std::unordered_set<std::string_view> targets;
    std::vector<bool> taken(journal.moves.size());
    for (std::size_t i = journal.moves.size(); i-- > 0;) {
        JournalMove& move = journal.moves[i];
        const std::string_view target(move.target);
        taken[i] = targets.insert(target).second;
        // Nothing stands yet in a folder the run makes.
        move.hadOriginal = taken[i] && made.count(target.substr(0, target.rfind('/'))) == 0 &&
                           qlx::kindOf(move.target) != Kind::Missing;
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < journal.moves.size(); ++i) {
        if (taken[i]) {
            if (kept != i) {
                journal.moves[kept] = std::move(journal.moves[i]);
            }
            ++kept;
        }
    }
    journal.moves.resize(kept);
}

} // namespace

int prepareCommit(const std::string& journalPath, Journal& journal) {
    decideMoves(journal);
    if (!syncStagingFileSystems(journal)) {
        return EZIP_E_STAGING;
    }
    journal.state = RunState::Committing;
    // The commit point copies the whole journal, the one write of the commit
    // that needs room on a drive where the moves are renames.
    if (rewriteJournal(journalPath, journal)) {
        return EZIP_OK;
    }
    return noRoomForCopyOf(journalPath) ? EZIP_E_NO_SPACE : EZIP_E_JOURNAL;
}

int finishCommit(const std::string& journalPath, Journal& journal, bool fresh) {
    recordBusyFile({});
    Taken taken = makeFolders(journal) ? Taken::Done : Taken::Failed;
    for (std::size_t i = 0; taken == Taken::Done && i < journal.moves.size(); ++i) {
        taken = takeMove(journal.moves[i], fresh);
        if (taken == Taken::Busy) {
            recordBusyFile(journal.moves[i].target);
        }
    }
    if (taken != Taken::Done) {
        if (!appendToJournal(journalPath, undoRecord, flushOf(journal))) {
            return EZIP_E_ROLLBACK; // an undo that no journal records must not start
        }
        journal.state = RunState::Undoing;
        const int undone = undoCommit(journalPath, journal);
        return undone == EZIP_E_INSTALL ? undoneBecause(taken) : undone;
    }
    // The renames reach the disk before the backups they make obsolete go;
    // until then the journal stays, and the next start finishes the run.
    if (!syncStagingFileSystems(journal) ||
        !appendToJournal(journalPath, doneRecord, flushOf(journal))) {
        return EZIP_E_INSTALLED_UNFLUSHED;
    }
    journal.state = RunState::Done;
    return removeRun(journalPath, journal) ? EZIP_OK : EZIP_E_INSTALLED_UNCLEANED;
}

int undoCommit(const std::string& journalPath, Journal& journal) {
    bool clean = true;
    for (std::size_t i = journal.moves.size(); i-- > 0;) {
        const JournalMove& move = journal.moves[i];
        const bool untaken =
            qlx::kindOf(move.staged) != Kind::Missing && qlx::kindOf(move.target) != Kind::Missing;
        if (qlx::kindOf(move.backup) != Kind::Missing) {
            // A move not taken left the target as it was, perhaps held open by
            // another program: only the backup's link goes, when it can.
            if (untaken) {
                (void)qlx::removeFile(move.backup);
            } else {
                clean = qlx::renameOver(move.backup, move.target) && clean;
            }
        } else if (!move.hadOriginal && qlx::kindOf(move.staged) == Kind::Missing) {
            clean = qlx::removeFile(move.target) && clean;
        }
    }
    for (std::size_t i = journal.folders.size(); i-- > 0;) {
        if (journal.folders[i].create) {
            // A folder that is not empty now holds somebody else's files.
            (void)qlx::removeEmptyFolder(journal.folders[i].path);
        }
    }
    if (!clean || !syncStagingFileSystems(journal)) {
        return EZIP_E_ROLLBACK;
    }
    removeRun(journalPath, journal);
    return EZIP_E_INSTALL;
}

bool removeRun(const std::string& journalPath, const Journal& journal) {
    Journal left;
    left.state = RunState::Done;
    left.durable = journal.durable;
    bool onlyHeld = true;
    for (const auto& folder : journal.stagingFolders) {
        if (!qlx::removeFolderTree(folder) && qlx::kindOf(folder) != Kind::Missing) {
            left.stagingFolders.push_back(folder);
            onlyHeld = qlx::onlyHeldFilesIn(folder) && onlyHeld;
        }
    }
    if (!left.stagingFolders.empty()) {
        // The run is settled: its journal keeps only the folders, for a later
        // start to remove, and blocks none. The old image of a program that
        // still runs is expected to stay; anything else is a fault to tell.
        return rewriteJournal(journalPath, left) && onlyHeld;
    }
    // Only the journal knows where the staging folders are: it goes last.
    return qlx::removeFile(journalPath + ".new") && qlx::removeFile(journalPath);
}

} // namespace ezip

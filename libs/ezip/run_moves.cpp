#include "libs/ezip/run_moves.h"

#include "libs/ezip/ezip_codes.h"
#include "libs/ezip/in_use.h"
#include "platform/files.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <numeric>
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

enum class Taken { Done, Busy, Failed };

Taken takenAs(qlx::Replaced replaced) {
    switch (replaced) {
    case qlx::Replaced::Done:
        return Taken::Done;
    case qlx::Replaced::Busy:
        return Taken::Busy;
    case qlx::Replaced::Failed:
        break;
    }
    return Taken::Failed;
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

// Decides which folders the run makes: the first record of a folder that is
// not there yet. The set only looks at the journal's own strings.
std::unordered_set<std::string_view> decideFolders(Journal& journal) {
    std::unordered_set<std::string_view> folders;
    std::unordered_set<std::string_view> made;
    for (auto& folder : journal.folders) {
        folder.create =
            folders.insert(folder.path).second && qlx::kindOf(folder.path) == Kind::Missing;
        if (folder.create) {
            made.insert(folder.path);
        }
    }
    return made;
}

// Which moves the run takes, by their place in the journal: a file that a
// later archive of the run brings too is only moved once, from the later
// archive, so that no moment of the commit shows a file of a build that is
// neither the installed one nor the last. Only a hash of each target is
// held, in a run of many packages a small part of the paths themselves.
std::optional<std::vector<bool>> lastMoveOfEachTarget(const std::string& journalPath) {
    std::vector<std::uint64_t> targets;
    if (!forEachMove(journalPath, [&targets](const JournalMove& move) {
            targets.push_back(std::hash<std::string_view>{}(move.target));
            return true;
        })) {
        return std::nullopt;
    }
    std::vector<std::uint32_t> order(targets.size());
    std::iota(order.begin(), order.end(), 0U);
    std::sort(order.begin(), order.end(), [&targets](std::uint32_t a, std::uint32_t b) {
        return targets[a] != targets[b] ? targets[a] < targets[b] : a < b;
    });
    std::vector<bool> taken(targets.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        taken[order[i]] = i + 1 == order.size() || targets[order[i + 1]] != targets[order[i]];
    }
    return taken;
}

} // namespace

int prepareCommit(const std::string& journalPath, Journal& journal) {
    const std::unordered_set<std::string_view> made = decideFolders(journal);
    const std::optional<std::vector<bool>> taken = lastMoveOfEachTarget(journalPath);
    if (!taken) {
        return EZIP_E_JOURNAL;
    }
    if (!syncStagingFileSystems(journal)) {
        return EZIP_E_STAGING;
    }
    journal.state = RunState::Committing;
    std::size_t index = 0;
    std::size_t kept = 0;
    const auto takenMoves = [&](const MoveWriter& write) {
        return forEachMove(journalPath, [&](JournalMove& move) {
            if (!taken->at(index++)) {
                return true;
            }
            // Nothing stands yet in a folder the run makes.
            const std::string_view target(move.target);
            move.hadOriginal = made.count(target.substr(0, target.rfind('/'))) == 0 &&
                               qlx::kindOf(move.target) != Kind::Missing;
            write(move);
            ++kept;
            return true;
        });
    };
    if (!rewriteJournal(journalPath, journal, takenMoves)) {
        return EZIP_E_JOURNAL;
    }
    journal.moveCount = kept;
    return EZIP_OK;
}

int finishCommit(const std::string& journalPath, Journal& journal, bool fresh) {
    recordBusyFile({});
    Taken taken = makeFolders(journal) ? Taken::Done : Taken::Failed;
    if (taken == Taken::Done && !forEachMove(journalPath, [&](const JournalMove& move) {
            taken = takeMove(move, fresh);
            if (taken == Taken::Busy) {
                recordBusyFile(move.target);
            }
            return taken == Taken::Done;
        })) {
        taken = Taken::Failed;
    }
    if (taken != Taken::Done) {
        if (!appendToJournal(journalPath, undoRecord, flushOf(journal))) {
            return EZIP_E_ROLLBACK; // an undo that no journal records must not start
        }
        journal.state = RunState::Undoing;
        const int undone = undoCommit(journalPath, journal);
        return undone == EZIP_E_INSTALL && taken == Taken::Busy ? EZIP_E_IN_USE : undone;
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
    // The commit moves each target once, so the moves can be put back in any
    // order; the file's is the one that needs nothing held.
    const bool read = forEachMove(journalPath, [&clean](const JournalMove& move) {
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
        return true;
    });
    clean = read && clean;
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

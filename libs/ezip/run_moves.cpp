#include "libs/ezip/run_moves.h"

#include "libs/ezip/ezip_codes.h"
#include "libs/ezip/in_use.h"
#include "platform/file_handle.h"
#include "platform/files.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <numeric>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
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

// Targets whose hashes are equal are told apart by their paths, read again
// for those moves only: normally the files that a later archive brings too.
bool settleSharedHashes(const std::string& journalPath, const std::vector<bool>& shared,
                        std::vector<bool>& taken) {
    std::vector<std::pair<std::string, std::uint32_t>> paths;
    std::uint32_t index = 0;
    if (!forEachMove(journalPath, [&](const JournalMove& move) {
            if (shared[index]) {
                paths.emplace_back(move.target, index);
            }
            ++index;
            return true;
        })) {
        return false;
    }
    std::sort(paths.begin(), paths.end());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        taken[paths[i].second] = i + 1 == paths.size() || paths[i + 1].first != paths[i].first;
    }
    return true;
}

// Which moves the run takes, by their place in the journal: a file that a
// later archive of the run brings too is only moved once, from the later
// archive, so that no moment of the commit shows a file of a build that is
// neither the installed one nor the last. Only a hash of each target is
// held, in a run of many packages a small part of the paths themselves.
std::optional<std::vector<bool>> lastMoveOfEachTarget(const std::string& journalPath,
                                                      const std::vector<std::uint64_t>& targets) {
    std::vector<std::uint32_t> order(targets.size());
    std::iota(order.begin(), order.end(), 0U);
    std::sort(order.begin(), order.end(), [&targets](std::uint32_t a, std::uint32_t b) {
        return targets[a] != targets[b] ? targets[a] < targets[b] : a < b;
    });
    std::vector<bool> taken(targets.size(), true);
    std::vector<bool> shared(targets.size());
    bool anyShared = false;
    for (std::size_t i = 0; i + 1 < order.size(); ++i) {
        if (targets[order[i + 1]] == targets[order[i]]) {
            shared[order[i]] = shared[order[i + 1]] = anyShared = true;
        }
    }
    if (anyShared && !settleSharedHashes(journalPath, shared, taken)) {
        return std::nullopt;
    }
    return taken;
}

} // namespace

int prepareCommit(const std::string& journalPath, Journal& journal) {
    if (journal.targetHashes.size() != journal.moveCount) {
        return EZIP_E_JOURNAL; // read without them
    }
    const std::unordered_set<std::string_view> made = decideFolders(journal);
    const std::optional<std::vector<bool>> taken =
        lastMoveOfEachTarget(journalPath, journal.targetHashes);
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
    // The commit point copies the whole journal, the one write of the commit
    // that needs room on a drive where the moves are renames.
    if (!rewriteJournal(journalPath, journal, takenMoves)) {
        return noRoomForCopyOf(journalPath) ? EZIP_E_NO_SPACE : EZIP_E_JOURNAL;
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

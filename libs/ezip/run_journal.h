#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ezip {

// The journal of a run: every package of an update is staged first and the
// whole set is moved into place afterwards. The journal is what lets a later
// process finish or undo a run that a crash interrupted, so each of its lines
// is on disk before the step it describes is taken.
//
// Text, one record a line, fields separated by tabs (paths never hold tabs or
// line breaks: the library refuses such destinations and entry names):
//   EZIP-RUN 1                               the first line
//   Q                                        a run that flushes nothing to disk
//   S <folder>                               a staging folder (written before it is made)
//   D <create> <folder>                      a folder the run's files need
//   F <keepMode> <hadOriginal> <staged> <target> <backup>
//   C                                        the commit point: the lists above are final
//   U                                        undoing a commit that failed
//   E                                        every file is in place; clean-up only
// Until "C" the flags <create> and <hadOriginal> are 0; the commit rewrites the
// whole journal with them, so that an undo knows which folders the run made
// and which targets had no file before the run, and with one move a target.
struct JournalFolder {
    std::string path;
    bool create = false;
};

struct JournalMove {
    std::string staged;
    std::string target;
    // Where the file it replaces waits until the run has ended.
    std::string backup;
    // The archive carries no permissions: the new file takes those of the old.
    bool keepMode = false;
    // A file stood at the target when the commit began.
    bool hadOriginal = false;
};

enum class RunState { Staging, Committing, Undoing, Done };

struct Journal {
    RunState state = RunState::Staging;
    // Whether the run survives a power loss, not only a killed process: its
    // staged files and journal reach the disk before anything is moved.
    bool durable = true;
    std::vector<std::string> stagingFolders;
    std::vector<JournalFolder> folders;
    // The moves stay in the file, read one at a time with forEachMove: a run
    // of many packages has hundreds of thousands, three paths each.
    std::size_t moveCount = 0;
    // A hash of each move's target, in the order of the file, when read
    // with them: all the commit needs of the moves to tell which it takes,
    // without a scan of its own.
    std::vector<std::uint64_t> targetHashes;
};

[[nodiscard]] inline std::uint64_t targetHash(std::string_view target) {
    return std::hash<std::string_view>{}(target);
}

// Reads a journal, all but its moves (and their targets' hashes when
// `withTargets`). A last line without its line break was torn by a crash and
// is ignored. nullopt when the file cannot be read or is not a journal.
[[nodiscard]] std::optional<Journal> readJournal(const std::string& path, bool withTargets = false);

// Hands each move of the journal to `each`, in the order of the file, until
// `each` returns false. False when the file cannot be read or is not a
// journal.
[[nodiscard]] bool forEachMove(const std::string& path,
                               const std::function<bool(JournalMove&)>& each);

// Creates the journal of a new run; false when it exists or cannot be made.
[[nodiscard]] bool createJournal(const std::string& path, bool durable);

// Appends records (each already ending in a line break). A durable append is
// on disk before it returns; the others reach the disk with the commit, which
// rewrites the whole journal durably: until then a lost record can only leave
// a staging folder behind, never change an installed file.
enum class Flush { Later, Now };
[[nodiscard]] bool appendToJournal(const std::string& path, const std::string& records,
                                   Flush flush);
[[nodiscard]] inline Flush flushOf(const Journal& journal) {
    return journal.durable ? Flush::Now : Flush::Later;
}

// Replaces the journal, through a complete copy (flushed when the run is
// durable), with `journal` in the state it is in, and with the moves that
// `moves` hands to its writer (none without it). `moves` returns false when
// it could not read them.
using MoveWriter = std::function<void(const JournalMove&)>;
using MoveSource = std::function<bool(const MoveWriter&)>;
[[nodiscard]] bool rewriteJournal(const std::string& path, const Journal& journal,
                                  const MoveSource& moves = {});

// The records of one staged package.
[[nodiscard]] std::string folderRecord(const std::string& folder);
[[nodiscard]] std::string moveRecord(const JournalMove& move);
[[nodiscard]] std::string stagingRecord(const std::string& folder);
inline constexpr const char* undoRecord = "U\n";
inline constexpr const char* doneRecord = "E\n";

// True for a path the journal can hold.
[[nodiscard]] bool journalSafe(const std::string& path);

} // namespace ezip

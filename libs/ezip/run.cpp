#include "libs/ezip/run.h"

#include "libs/ezip/archive_plan.h"
#include "libs/ezip/entry_name.h"
#include "libs/ezip/extract.h"
#include "libs/ezip/ezip_codes.h"
#include "libs/ezip/run_journal.h"
#include "libs/ezip/run_moves.h"
#include "libs/ezip/staging.h"
#include "platform/file_handle.h"
#include "platform/files.h"

#include <array>
#include <mutex>
#include <optional>
#include <random>

namespace ezip {

namespace {

constexpr int stagingNameTries = 8;

// The run this process began and has not ended yet. Staging into it needs no
// look at its journal, which grows with every package: reading it each time
// would make a run of many small packages cost the square of their number.
struct OpenRun {
    std::mutex mutex;
    std::string journal;
    bool durable = true;
};

OpenRun& openRun() {
    static OpenRun run;
    return run;
}

void rememberRun(const std::string& journal, bool durable) {
    OpenRun& run = openRun();
    const std::lock_guard lock(run.mutex);
    run.journal = journal;
    run.durable = durable;
}

void forgetRun(const std::string& journal) {
    OpenRun& run = openRun();
    const std::lock_guard lock(run.mutex);
    if (run.journal == journal) {
        run.journal.clear();
    }
}

// Whether the run of `journal` is durable, when it is still staging.
std::optional<bool> stagingRunDurable(const std::string& journal) {
    {
        OpenRun& run = openRun();
        const std::lock_guard lock(run.mutex);
        if (!run.journal.empty() && run.journal == journal) {
            return run.durable;
        }
    }
    const std::optional<Journal> run = readJournal(journal);
    if (!run || run->state != RunState::Staging) {
        return std::nullopt;
    }
    return run->durable;
}

// A name of `length` random letters and digits.
std::string randomName(std::size_t length) {
    static constexpr std::array<char, 36> letters = {
        'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p', 'q', 'r',
        's', 't', 'u', 'v', 'w', 'x', 'y', 'z', '0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    std::random_device source;
    std::uniform_int_distribution<std::size_t> pick(0, letters.size() - 1);
    std::string name(length, 'a');
    for (char& c : name) {
        c = letters.at(pick(source));
    }
    return name;
}

// Makes the staging folder of one archive inside `destination`; its name is
// in the journal before the folder exists, so that a crash cannot leave a
// folder nobody knows of.
std::string makeStagingFolder(const std::string& journal, const std::string& destination) {
    for (int attempt = 0; attempt < stagingNameTries; ++attempt) {
        std::string folder = destination;
        folder.append("/").append(stagingPrefix).append(randomName(6));
        if (qlx::kindOf(folder) != qlx::FileKind::Missing) {
            continue;
        }
        if (!appendToJournal(journal, stagingRecord(folder), Flush::Later)) {
            return {};
        }
        if (qlx::makeFolder(folder)) {
            return folder;
        }
    }
    return {};
}

std::string recordsOf(const Plan& plan, const std::string& destination,
                      const std::string& staging) {
    std::string records;
    for (const auto& folder : plan.folders) {
        records += folderRecord(std::string(destination).append("/").append(folder));
    }
    for (const auto& file : plan.files) {
        JournalMove move;
        move.staged = staging + "/" + stagedName(file);
        move.target = destination + "/" + file.path;
        move.backup = staging + "/b" + std::to_string(file.index);
        move.keepMode = !file.unixMode;
        records += moveRecord(move);
    }
    return records;
}

int stage(const std::string& journal, const std::string& archive, const std::string& destination,
          bool durable) {
    const qlx::FileHandle folder = qlx::openFolder(destination, /*followLink=*/true);
    if (!folder.isOpen()) {
        return EZIP_E_DESTINATION;
    }
    Plan plan;
    std::size_t entryCount = 0;
    if (const int code = planArchive(archive, folder, plan, entryCount); code != EZIP_OK) {
        return code;
    }
    const std::string staging = makeStagingFolder(journal, destination);
    if (staging.empty()) {
        return EZIP_E_STAGING;
    }
    int code = EZIP_OK;
    {
        const qlx::FileHandle stagingFolder = qlx::openFolder(staging, /*followLink=*/false);
        code = stagingFolder.isOpen()
                   ? inflateAll(archive, entryCount, plan, stagingFolder, durable)
                   : EZIP_E_STAGING;
    }
    if (code == EZIP_OK &&
        !appendToJournal(journal, recordsOf(plan, destination, staging), Flush::Later)) {
        code = EZIP_E_JOURNAL;
    }
    if (code != EZIP_OK) {
        qlx::removeFolderTree(staging);
    }
    return code;
}

int settle(const std::string& journalPath, Journal& journal) {
    switch (journal.state) {
    case RunState::Staging:
        removeRun(journalPath, journal);
        return EZIP_OK;
    case RunState::Committing:
        return finishCommit(journalPath, journal);
    case RunState::Undoing:
        return undoCommit(journalPath, journal);
    case RunState::Done:
        removeRun(journalPath, journal);
        return EZIP_OK;
    }
    return EZIP_E_INTERNAL;
}

// A journal that holds nothing but staging folders that another program kept
// from going: the new run takes them over, so that its own end removes them.
int takeOverLeftovers(const std::string& path, bool durable) {
    const std::optional<Journal> old = readJournal(path);
    if (!old || old->state != RunState::Done || old->moveCount != 0 || !old->folders.empty()) {
        return EZIP_E_JOURNAL; // a run that was never settled
    }
    Journal run;
    run.durable = durable;
    for (const auto& folder : old->stagingFolders) {
        if (!qlx::removeFolderTree(folder) && qlx::kindOf(folder) != qlx::FileKind::Missing) {
            run.stagingFolders.push_back(folder);
        }
    }
    return rewriteJournal(path, run) ? EZIP_OK : EZIP_E_JOURNAL;
}

} // namespace

int beginRun(const std::string& journal, bool durable) {
    if (!journalSafe(journal)) {
        return EZIP_E_ARGUMENT;
    }
    (void)qlx::removeFile(journal + ".new");
    const int begun = qlx::kindOf(journal) != qlx::FileKind::Missing
                          ? takeOverLeftovers(journal, durable)
                          : (createJournal(journal, durable) ? EZIP_OK : EZIP_E_JOURNAL);
    if (begun == EZIP_OK) {
        rememberRun(journal, durable);
    }
    return begun;
}

int stageIntoRun(const std::string& journal, const std::string& archive,
                 const std::string& destination) {
    if (archive.empty() || !journalSafe(destination)) {
        return EZIP_E_ARGUMENT;
    }
    const std::optional<bool> durable = stagingRunDurable(journal);
    if (!durable) {
        return EZIP_E_JOURNAL;
    }
    // Relative destinations would mean something else to a later process that
    // recovers the run from another folder.
    const std::optional<std::string> folder = qlx::absoluteFolder(destination);
    if (!folder) {
        return EZIP_E_ARGUMENT;
    }
    try {
        return stage(journal, archive, *folder, *durable);
    } catch (...) {
        return EZIP_E_INTERNAL;
    }
}

int commitRun(const std::string& journalPath) {
    forgetRun(journalPath);
    std::optional<Journal> journal = readJournal(journalPath, /*withTargets=*/true);
    if (!journal) {
        return EZIP_E_JOURNAL;
    }
    if (journal->state == RunState::Staging) {
        if (const int code = prepareCommit(journalPath, *journal); code != EZIP_OK) {
            // Nothing was moved: the run is dropped as if it had failed to stage.
            journal->state = RunState::Staging;
            removeRun(journalPath, *journal);
            return code;
        }
        return finishCommit(journalPath, *journal, /*fresh=*/true);
    }
    return settle(journalPath, *journal);
}

int abortRun(const std::string& journalPath) {
    return recoverRun(journalPath);
}

int recoverRun(const std::string& journalPath) {
    forgetRun(journalPath);
    if (qlx::kindOf(journalPath) == qlx::FileKind::Missing) {
        (void)qlx::removeFile(journalPath + ".new");
        return EZIP_OK;
    }
    std::optional<Journal> journal = readJournal(journalPath);
    if (!journal) {
        return EZIP_E_JOURNAL;
    }
    return settle(journalPath, *journal);
}

} // namespace ezip

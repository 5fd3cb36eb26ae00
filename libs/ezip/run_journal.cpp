#include "libs/ezip/run_journal.h"

#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/whole_file.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace ezip {

namespace {

constexpr std::string_view header = "EZIP-RUN 1\n";
// A run of many packages has a journal of many megabytes; it is read and
// written in pieces of this size, so that its text is never held whole
// beside the records made of it.
constexpr std::size_t pieceSize = std::size_t{1} << 20U;

// The tab-separated fields of a record; a record has at most six, and a
// line with more is counted as one field too many. Held in place, since
// every scan of a run's journal splits a line per file.
struct Fields {
    static constexpr std::size_t most = 6;
    std::array<std::string_view, most> at{};
    std::size_t size = 0;
};

Fields fieldsOf(std::string_view line) {
    Fields fields;
    std::size_t start = 0;
    while (true) {
        if (fields.size == Fields::most) {
            ++fields.size;
            return fields;
        }
        const std::size_t tab = line.find('\t', start);
        fields.at.at(fields.size++) =
            line.substr(start, tab == std::string_view::npos ? tab : tab - start);
        if (tab == std::string_view::npos) {
            return fields;
        }
        start = tab + 1;
    }
}

std::optional<bool> flagOf(std::string_view field) {
    if (field == "0" || field == "1") {
        return field == "1";
    }
    return std::nullopt;
}

// Reads a move record into `move`, whose strings keep their room from the
// record before.
bool readMove(const Fields& fields, JournalMove& move) {
    if (fields.size != Fields::most) {
        return false;
    }
    const auto keepMode = flagOf(fields.at[1]);
    const auto hadOriginal = flagOf(fields.at[2]);
    if (!keepMode || !hadOriginal) {
        return false;
    }
    move.staged.assign(fields.at[3]);
    move.target.assign(fields.at[4]);
    move.backup.assign(fields.at[5]);
    move.keepMode = *keepMode;
    move.hadOriginal = *hadOriginal;
    return true;
}

// False for a line that is not a record of the journal. A move is only
// checked and counted.
bool readRecord(std::string_view line, Journal& journal, bool withTargets) {
    const Fields fields = fieldsOf(line);
    const std::string_view kind = fields.at[0];
    if (kind == "S" && fields.size == 2) {
        journal.stagingFolders.emplace_back(fields.at[1]);
    } else if (kind == "D" && fields.size == 3) {
        const auto create = flagOf(fields.at[1]);
        if (!create) {
            return false;
        }
        journal.folders.push_back({std::string(fields.at[2]), *create});
    } else if (kind == "F" && fields.size == 6) {
        if (!flagOf(fields.at[1]) || !flagOf(fields.at[2])) {
            return false;
        }
        ++journal.moveCount;
        if (withTargets) {
            journal.targetHashes.push_back(targetHash(fields.at[4]));
        }
    } else if (kind == "Q" && fields.size == 1) {
        journal.durable = false;
    } else if (kind == "C" && fields.size == 1) {
        journal.state = RunState::Committing;
    } else if (kind == "U" && fields.size == 1) {
        journal.state = RunState::Undoing;
    } else if (kind == "E" && fields.size == 1) {
        journal.state = RunState::Done;
    } else {
        return false;
    }
    return true;
}

enum class Scan { Next, Stop, Bad };

// Hands each whole line after the header to `line`; false when the file
// cannot be read, is not a journal or `line` calls one bad.
bool scanJournal(const std::string& path, const std::function<Scan(std::string_view)>& line) {
    const qlx::FileHandle file = qlx::openForReading(path, /*sequential=*/true);
    if (!file.isOpen()) {
        return false;
    }
    std::string text;
    std::uint64_t offset = 0;
    bool started = false;
    for (std::size_t done = 0;;) {
        const std::size_t before = text.size();
        text.resize(before + pieceSize);
        const std::int64_t count = qlx::readAt(file, offset, text.data() + before, pieceSize);
        if (count < 0) {
            return false;
        }
        text.resize(before + static_cast<std::size_t>(count));
        offset += static_cast<std::uint64_t>(count);
        if (!started) {
            if (text.size() < header.size() && count > 0) {
                continue;
            }
            if (!std::string_view(text).starts_with(header)) {
                return false;
            }
            started = true;
            done = header.size();
        }
        // A line without its break is one that a crash cut short; the step
        // it announced was never taken.
        for (std::size_t end = text.find('\n', done); end != std::string::npos;
             end = text.find('\n', done)) {
            const Scan next = line(std::string_view(text).substr(done, end - done));
            if (next != Scan::Next) {
                return next == Scan::Stop;
            }
            done = end + 1;
        }
        if (count == 0) {
            return true;
        }
        text.erase(0, done);
        done = 0;
    }
}

const char* flag(bool value) {
    return value ? "1" : "0";
}

} // namespace

std::optional<Journal> readJournal(const std::string& path, bool withTargets) {
    Journal journal;
    if (!scanJournal(path, [&](std::string_view line) {
            return readRecord(line, journal, withTargets) ? Scan::Next : Scan::Bad;
        })) {
        return std::nullopt;
    }
    return journal;
}

bool forEachMove(const std::string& path, const std::function<bool(JournalMove&)>& each) {
    JournalMove move;
    return scanJournal(path, [&](std::string_view line) {
        if (!line.starts_with("F\t")) {
            return Scan::Next;
        }
        if (!readMove(fieldsOf(line), move)) {
            return Scan::Bad;
        }
        return each(move) ? Scan::Next : Scan::Stop;
    });
}

bool createJournal(const std::string& path, bool durable) {
    return qlx::createWholeFile(path, std::string(header) + (durable ? "" : "Q\n"), durable);
}

bool appendToJournal(const std::string& path, const std::string& records, Flush flush) {
    return qlx::appendToFile(path, records, flush == Flush::Now);
}

namespace {

// The complete copy that replaces a journal, written a piece at a time.
class JournalCopy {
public:
    explicit JournalCopy(std::string path)
        : path_(std::move(path)), file_(qlx::openForWriting(path_, qlx::Creation::Truncated)),
          ok_(file_.isOpen()) {}

    void add(std::string_view records) {
        pending_ += records;
        if (pending_.size() >= pieceSize) {
            write();
        }
    }
    // Whether every byte made it, on disk with `durably`.
    bool finish(bool durably) {
        write();
        ok_ = ok_ && (!durably || qlx::flush(file_));
        return file_.close() && ok_;
    }
    [[nodiscard]] const std::string& path() const { return path_; }

private:
    void write() {
        ok_ = ok_ && qlx::writeAll(file_, reinterpret_cast<const unsigned char*>(pending_.data()),
                                   pending_.size());
        pending_.clear();
    }

    std::string path_;
    qlx::FileHandle file_;
    bool ok_;
    std::string pending_;
};

void addState(JournalCopy& copy, RunState state) {
    switch (state) {
    case RunState::Staging:
        break;
    case RunState::Committing:
        copy.add("C\n");
        break;
    case RunState::Undoing:
        copy.add("C\n");
        copy.add(undoRecord);
        break;
    case RunState::Done:
        copy.add("C\n");
        copy.add(doneRecord);
        break;
    }
}

} // namespace

bool rewriteJournal(const std::string& path, const Journal& journal, const MoveSource& moves) {
    JournalCopy copy(path + ".new");
    copy.add(header);
    if (!journal.durable) {
        copy.add("Q\n");
    }
    for (const auto& folder : journal.stagingFolders) {
        copy.add(stagingRecord(folder));
    }
    for (const auto& folder : journal.folders) {
        copy.add(std::string("D\t") + flag(folder.create) + "\t" + folder.path + "\n");
    }
    const bool movesRead =
        !moves || moves([&copy](const JournalMove& move) { copy.add(moveRecord(move)); });
    addState(copy, journal.state);
    if (!copy.finish(journal.durable) || !movesRead || !qlx::renameOver(copy.path(), path)) {
        (void)qlx::removeFile(copy.path());
        return false;
    }
    return !journal.durable || qlx::syncParentOf(path);
}

std::string folderRecord(const std::string& folder) {
    return "D\t0\t" + folder + "\n";
}

std::string moveRecord(const JournalMove& move) {
    std::string record;
    record.reserve(move.staged.size() + move.target.size() + move.backup.size() + 10);
    record.append("F\t").append(flag(move.keepMode)).append("\t").append(flag(move.hadOriginal));
    record.append("\t").append(move.staged).append("\t").append(move.target);
    record.append("\t").append(move.backup).append("\n");
    return record;
}

std::string stagingRecord(const std::string& folder) {
    return "S\t" + folder + "\n";
}

bool journalSafe(const std::string& path) {
    for (const char c : path) {
        if (static_cast<unsigned char>(c) < 0x20) {
            return false;
        }
    }
    return !path.empty();
}

} // namespace ezip

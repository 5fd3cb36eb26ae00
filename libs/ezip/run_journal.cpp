#include "libs/ezip/run_journal.h"

#include "platform/whole_file.h"

#include <string_view>

namespace ezip {

namespace {

constexpr std::string_view header = "EZIP-RUN 1\n";

std::vector<std::string_view> fieldsOf(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
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

// False for a line that is not a record of the journal.
bool readRecord(std::string_view line, Journal& journal) {
    const std::vector<std::string_view> fields = fieldsOf(line);
    const std::string_view kind = fields.front();
    if (kind == "S" && fields.size() == 2) {
        journal.stagingFolders.emplace_back(fields[1]);
    } else if (kind == "D" && fields.size() == 3) {
        const auto create = flagOf(fields[1]);
        if (!create) {
            return false;
        }
        journal.folders.push_back({std::string(fields[2]), *create});
    } else if (kind == "F" && fields.size() == 6) {
        const auto keepMode = flagOf(fields[1]);
        const auto hadOriginal = flagOf(fields[2]);
        if (!keepMode || !hadOriginal) {
            return false;
        }
        journal.moves.push_back({std::string(fields[3]), std::string(fields[4]),
                                 std::string(fields[5]), *keepMode, *hadOriginal});
    } else if (kind == "Q" && fields.size() == 1) {
        journal.durable = false;
    } else if (kind == "C" && fields.size() == 1) {
        journal.state = RunState::Committing;
    } else if (kind == "U" && fields.size() == 1) {
        journal.state = RunState::Undoing;
    } else if (kind == "E" && fields.size() == 1) {
        journal.state = RunState::Done;
    } else {
        return false;
    }
    return true;
}

const char* flag(bool value) {
    return value ? "1" : "0";
}

} // namespace

std::optional<Journal> readJournal(const std::string& path) {
    const std::optional<std::string> text = qlx::readWholeFile(path);
    if (!text || !std::string_view(*text).starts_with(header)) {
        return std::nullopt;
    }
    Journal journal;
    std::string_view rest = std::string_view(*text).substr(header.size());
    // A line without its break is one that a crash cut short; the step it
    // announced was never taken.
    for (std::size_t end = rest.find('\n'); end != std::string_view::npos; end = rest.find('\n')) {
        if (!readRecord(rest.substr(0, end), journal)) {
            return std::nullopt;
        }
        rest.remove_prefix(end + 1);
    }
    return journal;
}

bool createJournal(const std::string& path, bool durable) {
    return qlx::createWholeFile(path, std::string(header) + (durable ? "" : "Q\n"), durable);
}

bool appendToJournal(const std::string& path, const std::string& records, Flush flush) {
    return qlx::appendToFile(path, records, flush == Flush::Now);
}

bool rewriteJournal(const std::string& path, const Journal& journal) {
    std::string text(header);
    if (!journal.durable) {
        text += "Q\n";
    }
    for (const auto& folder : journal.stagingFolders) {
        text += stagingRecord(folder);
    }
    for (const auto& folder : journal.folders) {
        text += std::string("D\t") + flag(folder.create) + "\t" + folder.path + "\n";
    }
    for (const auto& move : journal.moves) {
        text += moveRecord(move);
    }
    switch (journal.state) {
    case RunState::Staging:
        break;
    case RunState::Committing:
        text += "C\n";
        break;
    case RunState::Undoing:
        text += "C\n";
        text += undoRecord;
        break;
    case RunState::Done:
        text += "C\n";
        text += doneRecord;
        break;
    }
    return qlx::replaceThroughCopy(path, text, journal.durable);
}

std::string folderRecord(const std::string& folder) {
    return "D\t0\t" + folder + "\n";
}

std::string moveRecord(const JournalMove& move) {
    return std::string("F\t") + flag(move.keepMode) + "\t" + flag(move.hadOriginal) + "\t" +
           move.staged + "\t" + move.target + "\t" + move.backup + "\n";
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

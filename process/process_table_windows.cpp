#include "platform/text_encoding.h"
#include "process/process_table.h"
#include "process/toolhelp_walk.h"

#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <windows.h>

namespace qlx {

namespace {

// Toolhelp's narrow records hold the name in the system's ANSI code page.
ProcessEntry toEntry(const toolhelp::Entry& e) {
    ProcessEntry entry;
    entry.pid = e.pid;
    entry.exeName = fromSystemEncoding(e.exeName.substr(0, ProcessEntry::kMaxExeName));
    return entry;
}

// Another session's programs are another user's: an administrator on a
// terminal server must never end somebody else's work. A process whose
// session cannot be told is not ours to count or end.
//
// The start-up checks take a snapshot per program name, and each session
// costs opening the process; a session already told is kept for a process
// that shows the same number, parent and name again. A number taken over by
// another process in the meantime would have to come with the same parent
// and name as well, and every termination forgets what was kept, since the
// numbers it frees are the ones soon taken again.
class SessionFilter {
public:
    [[nodiscard]] bool known() { return ownSession_.has_value(); }

    [[nodiscard]] bool ours(const toolhelp::Entry& e) {
        const Key key{e.pid, e.parentPid, e.exeName};
        const auto kept = told_.find(key);
        if (kept != told_.end()) {
            return kept->second;
        }
        DWORD theirs = 0;
        const bool ours = ProcessIdToSessionId(e.pid, &theirs) != FALSE && theirs == *ownSession_;
        told_.emplace(key, ours);
        return ours;
    }

    void forget() { told_.clear(); }

private:
    using Key = std::tuple<std::uint32_t, std::uint32_t, std::string>;
    static std::optional<DWORD> sessionOfThisProcess() {
        DWORD session = 0;
        if (ProcessIdToSessionId(GetCurrentProcessId(), &session) == FALSE) {
            return std::nullopt;
        }
        return session;
    }

    std::optional<DWORD> ownSession_ = sessionOfThisProcess();
    std::map<Key, bool> told_;
};

class ToolhelpProcessTable final : public ProcessTable {
public:
    [[nodiscard]] ProcessSnapshot snapshot() override {
        const toolhelp::Walk walk = toolhelp::walkProcesses();
        ProcessSnapshot snapshot;
        if (!sessions_.known()) {
            return snapshot;
        }
        // The first entry keeps its place, blank when it is not ours.
        if (sessions_.ours(walk.first)) {
            snapshot.first = toEntry(walk.first);
        }
        snapshot.rest.reserve(walk.rest.size());
        for (const toolhelp::Entry& e : walk.rest) {
            if (sessions_.ours(e)) {
                snapshot.rest.push_back(toEntry(e));
            }
        }
        return snapshot;
    }

    bool terminate(std::uint32_t pid) override {
        sessions_.forget();
        return toolhelp::terminateProcess(pid);
    }

private:
    SessionFilter sessions_;
};

} // namespace

std::unique_ptr<ProcessTable> makeSystemProcessTable() {
    return std::make_unique<ToolhelpProcessTable>();
}

} // namespace qlx

#include "platform/text_encoding.h"
#include "process/process_table.h"
#include "process/toolhelp_walk.h"

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
bool inSession(std::uint32_t pid, DWORD session) {
    DWORD theirs = 0;
    return ProcessIdToSessionId(pid, &theirs) != FALSE && theirs == session;
}

class ToolhelpProcessTable final : public ProcessTable {
public:
    [[nodiscard]] ProcessSnapshot snapshot() override {
        const toolhelp::Walk walk = toolhelp::walkProcesses();
        DWORD session = 0;
        const bool known = ProcessIdToSessionId(GetCurrentProcessId(), &session) != FALSE;
        ProcessSnapshot snapshot;
        if (!known) {
            return snapshot;
        }
        // The first entry keeps its place, blank when it is not ours.
        if (inSession(walk.first.pid, session)) {
            snapshot.first = toEntry(walk.first);
        }
        snapshot.rest.reserve(walk.rest.size());
        for (const toolhelp::Entry& e : walk.rest) {
            if (inSession(e.pid, session)) {
                snapshot.rest.push_back(toEntry(e));
            }
        }
        return snapshot;
    }

    bool terminate(std::uint32_t pid) override { return toolhelp::terminateProcess(pid); }
};

} // namespace

std::unique_ptr<ProcessTable> makeSystemProcessTable() {
    return std::make_unique<ToolhelpProcessTable>();
}

} // namespace qlx

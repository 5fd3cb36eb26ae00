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

class ToolhelpProcessTable final : public ProcessTable {
public:
    [[nodiscard]] ProcessSnapshot snapshot() override {
        const toolhelp::Walk walk = toolhelp::walkProcesses();
        ProcessSnapshot snapshot;
        snapshot.first = toEntry(walk.first);
        snapshot.rest.reserve(walk.rest.size());
        for (const toolhelp::Entry& e : walk.rest) {
            snapshot.rest.push_back(toEntry(e));
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

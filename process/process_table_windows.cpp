#include "process/process_table.h"
#include "process/toolhelp_walk.h"

namespace qlx {

namespace {

ProcessEntry toEntry(const toolhelp::Entry& e) {
    ProcessEntry entry;
    entry.pid = e.pid;
    entry.exeName = QByteArray(e.exeName.data(), static_cast<qsizetype>(e.exeName.size()));
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

    bool terminate(quint32 pid) override { return toolhelp::terminateProcess(pid); }
};

} // namespace

std::unique_ptr<ProcessTable> makeSystemProcessTable() {
    return std::make_unique<ToolhelpProcessTable>();
}

} // namespace qlx

#pragma once

#include "process/process_table.h"

#include <set>
#include <utility>
#include <vector>

namespace qlx::testing {

// A process table that plays back a fixed list and records terminations, for
// what no machine can be made to show on demand: a process that refuses to be
// terminated, blanks around names, a chosen first entry.
class ScriptedProcessTable final : public ProcessTable {
public:
    ScriptedProcessTable(ProcessEntry first, std::vector<ProcessEntry> rest,
                         std::set<quint32> refusing = {})
        : first_(std::move(first)), rest_(std::move(rest)), refusing_(std::move(refusing)) {}

    [[nodiscard]] ProcessSnapshot snapshot() override {
        ++snapshots_;
        return {first_, rest_};
    }
    bool terminate(quint32 pid) override {
        terminated_.push_back(pid);
        return !refusing_.contains(pid);
    }

    [[nodiscard]] const std::vector<quint32>& terminated() const { return terminated_; }
    [[nodiscard]] int snapshots() const { return snapshots_; }

private:
    ProcessEntry first_;
    std::vector<ProcessEntry> rest_;
    std::set<quint32> refusing_;
    std::vector<quint32> terminated_;
    int snapshots_ = 0;
};

inline ProcessEntry entry(quint32 pid, const char* name) {
    return {pid, QByteArray(name)};
}

} // namespace qlx::testing

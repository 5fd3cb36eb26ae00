#pragma once

#include "process/process_table.h"

#include <cstdint>
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
                         std::set<std::uint32_t> refusing = {})
        : first_(std::move(first)), rest_(std::move(rest)), refusing_(std::move(refusing)) {}

    [[nodiscard]] ProcessSnapshot snapshot() override {
        ++snapshots_;
        return {first_, rest_};
    }
    bool terminate(std::uint32_t pid) override {
        terminated_.push_back(pid);
        return !refusing_.contains(pid);
    }

    [[nodiscard]] const std::vector<std::uint32_t>& terminated() const { return terminated_; }
    [[nodiscard]] int snapshots() const { return snapshots_; }

private:
    ProcessEntry first_;
    std::vector<ProcessEntry> rest_;
    std::set<std::uint32_t> refusing_;
    std::vector<std::uint32_t> terminated_;
    int snapshots_ = 0;
};

inline ProcessEntry entry(std::uint32_t pid, const char* name) {
    return {pid, name};
}

} // namespace qlx::testing

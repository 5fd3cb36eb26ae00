#pragma once

#include "process/process_table.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace qlx::test {

// The machine's real process table with everything but the processes `own`
// left out: the platform's first entry stays, as the counts skip it. Other
// builds and test runs on the same machine start programs of the names the
// window counts, and a window that saw them would count and terminate them.
class OwnProcessTable final : public ProcessTable {
public:
    explicit OwnProcessTable(std::vector<std::uint32_t> own)
        : own_(std::move(own)), system_(makeSystemProcessTable()) {}

    [[nodiscard]] ProcessSnapshot snapshot() override {
        ProcessSnapshot snapshot = system_->snapshot();
        std::erase_if(snapshot.rest, [this](const ProcessEntry& e) { return !isOwn(e.pid); });
        return snapshot;
    }
    bool terminate(std::uint32_t pid) override { return isOwn(pid) && system_->terminate(pid); }

private:
    [[nodiscard]] bool isOwn(std::uint32_t pid) const {
        return std::find(own_.begin(), own_.end(), pid) != own_.end();
    }

    std::vector<std::uint32_t> own_;
    std::unique_ptr<ProcessTable> system_;
};

} // namespace qlx::test

#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qlx {

// One entry of the process list: its id and the executable's file name as
// UTF-8. The platform holds the name as 8-bit text of at most kMaxExeName
// bytes (the system's encoding on Windows, the file name's own bytes on Linux);
// the table cuts it there and only then makes it UTF-8.
struct ProcessEntry {
    std::uint32_t pid = 0;
    std::string exeName;

    static constexpr std::size_t kMaxExeName = 260;
};

// A point-in-time copy of the process list in the platform's order. The first
// entry is delivered on its own; when no list could be had it stays empty
// (id 0, no name), and `rest` is empty.
struct ProcessSnapshot {
    ProcessEntry first;
    std::vector<ProcessEntry> rest;
};

// The platform's process list and termination, behind one interface so that
// the counting rules do not depend on where the list comes from.
class ProcessTable {
public:
    ProcessTable() = default;
    virtual ~ProcessTable() = default;
    ProcessTable(const ProcessTable&) = delete;
    ProcessTable& operator=(const ProcessTable&) = delete;

    [[nodiscard]] virtual ProcessSnapshot snapshot() = 0;
    // Terminates process `pid` with exit code 0; true when the platform reports success.
    virtual bool terminate(std::uint32_t pid) = 0;
};

// The running machine's process table (Toolhelp on Windows, /proc elsewhere).
[[nodiscard]] std::unique_ptr<ProcessTable> makeSystemProcessTable();

} // namespace qlx

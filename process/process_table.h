#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <memory>
#include <vector>

namespace qlx {

// One entry of the process list: its id and the executable's file name as the
// platform holds it, 8-bit text of at most kMaxExeName bytes.
struct ProcessEntry {
    quint32 pid = 0;
    QByteArray exeName;

    static constexpr qsizetype kMaxExeName = 260;
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
    virtual bool terminate(quint32 pid) = 0;
};

// The running machine's process table (Toolhelp on Windows, /proc elsewhere).
[[nodiscard]] std::unique_ptr<ProcessTable> makeSystemProcessTable();

} // namespace qlx

#pragma once

#include "process/process_table.h"

#include <QString>

namespace qlx {

// The process list read from /proc. An entry's name is the base name of its
// executable (the exe link), else of the first word of its command line, else
// its comm. Zombies are left out: they have already ended and only wait to be
// reaped, so there is nothing left to count or to terminate.
class LinuxProcessTable final : public ProcessTable {
public:
    // `procRoot` stands in for /proc in tests.
    explicit LinuxProcessTable(const QString& procRoot = QStringLiteral("/proc"));

    [[nodiscard]] ProcessSnapshot snapshot() override;
    // SIGKILL; true when it was delivered.
    bool terminate(quint32 pid) override;

private:
    QByteArray root_;
};

} // namespace qlx

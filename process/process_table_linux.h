#pragma once

#include "process/process_table.h"

#include <string>

namespace qlx {

// The process list read from /proc. An entry's name is the base name of its
// executable (the exe link), else of the first word of its command line, else
// its comm. Only the processes of this program's user are listed (the owner
// of /proc/PID is the process's effective user). Zombies are left out: they have already ended and
// only wait to be reaped, so there is nothing left to count or to terminate.
class LinuxProcessTable final : public ProcessTable {
public:
    // `procRoot` stands in for /proc in tests.
    explicit LinuxProcessTable(std::string procRoot = "/proc");

    [[nodiscard]] ProcessSnapshot snapshot() override;
    // SIGKILL; true when it was delivered.
    bool terminate(std::uint32_t pid) override;

private:
    std::string root_;
};

} // namespace qlx

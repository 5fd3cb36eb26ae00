#pragma once

#include <QString>

#include <sys/types.h>

#include <vector>

namespace qlx::test {

// Real processes with the names of the Quillon programs: copies of sleep,
// started from a private folder, terminated and reaped when the set goes.
class NamedProcesses {
public:
    NamedProcesses();
    ~NamedProcesses();
    NamedProcesses(const NamedProcesses&) = delete;
    NamedProcesses& operator=(const NamedProcesses&) = delete;

    // Starts a sleeping process whose executable is called `name`.
    pid_t start(const QString& name);
    // True while `pid` runs; reaps it once it has ended, so that it does not
    // linger as a zombie.
    bool alive(pid_t pid);

private:
    QString folder_;
    std::vector<pid_t> pids_;
};

} // namespace qlx::test

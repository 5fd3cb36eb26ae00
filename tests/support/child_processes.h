#pragma once

#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

#include <vector>

namespace qlx::testing {

// Copies of a harmless program (sleep) under the names of the programs the
// updater looks for, started as children of the test and always reaped, so
// that no zombie or stray process outlives a test.
class ChildProcesses {
public:
    ChildProcesses();
    ~ChildProcesses();
    ChildProcesses(const ChildProcesses&) = delete;
    ChildProcesses& operator=(const ChildProcesses&) = delete;

    [[nodiscard]] bool valid() const { return dir_.isValid(); }
    [[nodiscard]] QString folder() const { return dir_.path(); }

    // Starts the copy named `name` (made on first use); 0 when it failed.
    quint32 start(const QString& name);
    // Waits for `pid` to end (after someone killed it); false when it did not
    // end on its own within a few seconds, in which case it is killed.
    bool reap(quint32 pid);
    // True while the child `pid` runs; reaps it once it has ended.
    bool alive(quint32 pid);
    // Kills and reaps every child still running.
    void stopAll();
    [[nodiscard]] const std::vector<quint32>& running() const { return running_; }

private:
    QTemporaryDir dir_;
    std::vector<quint32> running_;
};

// A folder standing in for /proc that lists only the given processes, each a
// link to its real /proc entry: the table reads real processes but cannot see,
// and so cannot terminate, anybody else's.
class ProcView {
public:
    explicit ProcView(const std::vector<quint32>& pids);
    [[nodiscard]] QString root() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
};

} // namespace qlx::testing

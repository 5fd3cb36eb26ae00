#include "support/child_processes.h"

#include <QFile>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qlx::testing {

ChildProcesses::ChildProcesses() = default;

ChildProcesses::~ChildProcesses() {
    stopAll();
}

quint32 ChildProcesses::start(const QString& name) {
    const QString program = dir_.filePath(name);
    if (!QFile::exists(program) && !QFile::copy(QStringLiteral("/bin/sleep"), program)) {
        return 0;
    }
    const QByteArray path = QFile::encodeName(program);
    char seconds[] = "300";
    char* argv[] = {const_cast<char*>(path.constData()), seconds, nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, path.constData(), nullptr, nullptr, argv, environ) != 0) {
        return 0;
    }
    running_.push_back(static_cast<quint32>(pid));
    return static_cast<quint32>(pid);
}

bool ChildProcesses::reap(quint32 pid) {
    const auto it = std::find(running_.begin(), running_.end(), pid);
    if (it == running_.end()) {
        return false;
    }
    running_.erase(it);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        const pid_t done = waitpid(static_cast<pid_t>(pid), &status, WNOHANG);
        if (done == static_cast<pid_t>(pid)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(static_cast<pid_t>(pid), SIGKILL);
    waitpid(static_cast<pid_t>(pid), nullptr, 0);
    return false;
}

bool ChildProcesses::alive(quint32 pid) {
    const auto it = std::find(running_.begin(), running_.end(), pid);
    if (it == running_.end()) {
        return false;
    }
    // A child that has ended is reaped here, so that it is not mistaken for a
    // running one while it lingers as a zombie.
    if (waitpid(static_cast<pid_t>(pid), nullptr, WNOHANG) == static_cast<pid_t>(pid)) {
        running_.erase(it);
        return false;
    }
    return true;
}

void ChildProcesses::stopAll() {
    for (const quint32 pid : running_) {
        kill(static_cast<pid_t>(pid), SIGKILL);
    }
    for (const quint32 pid : running_) {
        waitpid(static_cast<pid_t>(pid), nullptr, 0);
    }
    running_.clear();
}

ProcView::ProcView(const std::vector<quint32>& pids) {
    for (const quint32 pid : pids) {
        const QString id = QString::number(pid);
        QFile::link(QStringLiteral("/proc/") + id, dir_.filePath(id));
    }
}

} // namespace qlx::testing

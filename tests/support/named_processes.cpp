#include "support/named_processes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace qlx::test {

NamedProcesses::NamedProcesses() {
    folder_ = QDir::temp().absoluteFilePath(
        QStringLiteral("qlx-procs-%1-%2").arg(getpid()).arg(reinterpret_cast<quintptr>(this)));
    QDir().mkpath(folder_);
}

NamedProcesses::~NamedProcesses() {
    for (const pid_t pid : pids_) {
        if (alive(pid)) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    QDir(folder_).removeRecursively();
}

pid_t NamedProcesses::start(const QString& name) {
    const QString path = QDir(folder_).absoluteFilePath(name);
    if (!QFile::exists(path)) {
        QFile::copy(QStringLiteral("/bin/sleep"), path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner | QFile::WriteOwner);
    }
    const QByteArray file = path.toLocal8Bit();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(file.constData(), file.constData(), "600", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    pids_.push_back(pid);
    // Wait until the child runs the copy, so that /proc names it.
    const QString exe = QStringLiteral("/proc/%1/exe").arg(pid);
    for (int i = 0; i < 200 && QFile::symLinkTarget(exe) != path; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return pid;
}

bool NamedProcesses::alive(pid_t pid) {
    int status = 0;
    const pid_t reaped = ::waitpid(pid, &status, WNOHANG);
    if (reaped == pid) {
        return false;
    }
    return reaped == 0 || ::kill(pid, 0) == 0;
}

} // namespace qlx::test

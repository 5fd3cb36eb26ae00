#include "support/child_processes.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace qlx::testing {

ChildProcesses::ChildProcesses() = default;

ChildProcesses::~ChildProcesses() {
    stopAll();
}

std::uint32_t ChildProcesses::start(const std::string& name) {
    if (!valid()) {
        return 0;
    }
    const std::string program = dir_.path() + "/" + name;
    struct stat st {};
    if (::stat(program.c_str(), &st) != 0) {
        std::error_code error;
        if (!std::filesystem::copy_file("/bin/sleep", program, error)) {
            return 0;
        }
    }
    char seconds[] = "300";
    char* argv[] = {const_cast<char*>(program.c_str()), seconds, nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) {
        return 0;
    }
    running_.push_back(static_cast<std::uint32_t>(pid));
    return static_cast<std::uint32_t>(pid);
}

bool ChildProcesses::reap(std::uint32_t pid) {
    const auto it = std::find(running_.begin(), running_.end(), pid);
    if (it == running_.end()) {
        return false;
    }
    running_.erase(it);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        const pid_t done = ::waitpid(static_cast<pid_t>(pid), &status, WNOHANG);
        if (done == static_cast<pid_t>(pid)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(static_cast<pid_t>(pid), SIGKILL);
    ::waitpid(static_cast<pid_t>(pid), nullptr, 0);
    return false;
}

bool ChildProcesses::alive(std::uint32_t pid) {
    const auto it = std::find(running_.begin(), running_.end(), pid);
    if (it == running_.end()) {
        return false;
    }
    // A child that has ended is reaped here, so that it is not mistaken for a
    // running one while it lingers as a zombie.
    if (::waitpid(static_cast<pid_t>(pid), nullptr, WNOHANG) == static_cast<pid_t>(pid)) {
        running_.erase(it);
        return false;
    }
    return true;
}

void ChildProcesses::stopAll() {
    for (const std::uint32_t pid : running_) {
        ::kill(static_cast<pid_t>(pid), SIGKILL);
    }
    for (const std::uint32_t pid : running_) {
        ::waitpid(static_cast<pid_t>(pid), nullptr, 0);
    }
    running_.clear();
}

ProcView::ProcView(const std::vector<std::uint32_t>& pids) {
    for (const std::uint32_t pid : pids) {
        const std::string id = std::to_string(pid);
        // A link that cannot be made leaves the process out of the view, which
        // the counts of the tests then show.
        (void)::symlink(("/proc/" + id).c_str(), (dir_.path() + "/" + id).c_str());
    }
}

} // namespace qlx::testing

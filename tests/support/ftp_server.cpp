#include "support/ftp_server.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#ifndef QLX_FTP_SERVERS_DIR
#error "QLX_FTP_SERVERS_DIR must name tests/support/ftp_servers"
#endif

extern char** environ;

namespace qlx::test {

namespace {

// Debian's own interpreter, which has pyftpdlib; another python3 on PATH may not.
const char* const python = "/usr/bin/python3";
constexpr std::chrono::milliseconds startTimeout{15000};

// The first line `fd` delivers within the start time-out; empty when none
// came.
std::string readFirstLine(int fd) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + startTimeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return {};
        }
        pollfd ready{fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        if (polled <= 0) {
            return {};
        }
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return {}; // the server ended before it told its port
        }
        if (c == '\n') {
            return line;
        }
        line.push_back(c);
    }
}

} // namespace

std::unique_ptr<FtpServer> FtpServer::startReal(const std::string& homeFolder) {
    return start("ftp_server.py", homeFolder);
}

std::unique_ptr<FtpServer> FtpServer::startMisbehaving(const std::string& mode) {
    return start("misbehaving_server.py", mode);
}

std::unique_ptr<FtpServer> FtpServer::start(const std::string& script,
                                            const std::string& argument) {
    std::unique_ptr<FtpServer> server(new FtpServer);
    char errorTemplate[] = "/tmp/qlx-ftp-server-XXXXXX";
    const int errorFd = ::mkostemp(errorTemplate, O_CLOEXEC);
    if (errorFd < 0) {
        return nullptr;
    }
    server->errorFile_ = errorTemplate;
    int pipe[2] = {-1, -1};
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        ::close(errorFd);
        return nullptr;
    }
    server->output_ = pipe[0];

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errorFd, STDERR_FILENO);
    const std::string scriptPath = std::string(QLX_FTP_SERVERS_DIR) + "/" + script;
    std::vector<char*> argv = {const_cast<char*>(python), const_cast<char*>(scriptPath.c_str()),
                               const_cast<char*>(argument.c_str()), nullptr};
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, python, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe[1]);
    ::close(errorFd);
    if (spawned != 0) {
        return nullptr;
    }
    server->pid_ = pid;

    const std::string line = readFirstLine(server->output_);
    char* end = nullptr;
    const unsigned long port = std::strtoul(line.c_str(), &end, 10);
    if (line.empty() || end == nullptr || *end != '\0' || port == 0 || port > 65535) {
        return nullptr; // the destructor stops whatever is left
    }
    server->port_ = static_cast<std::uint16_t>(port);
    return server;
}

FtpServer::~FtpServer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (output_ >= 0) {
        ::close(output_);
    }
    if (!errorFile_.empty()) {
        ::unlink(errorFile_.c_str());
    }
}

std::string FtpServer::address() const {
    return "127.0.0.1:" + std::to_string(port_);
}

std::string FtpServer::errorOutput() const {
    std::string text;
    const int fd = ::open(errorFile_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return text;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

} // namespace qlx::test

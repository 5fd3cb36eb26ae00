#include "process/process_start.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qlx {

namespace {

// The signals a freshly started program finds: all at their defaults, none blocked.
void resetSignals() {
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    for (int signal = 1; signal < NSIG; ++signal) {
        if (signal != SIGKILL && signal != SIGSTOP) {
            ::sigaction(signal, &byDefault, nullptr);
        }
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

void report(int fd, int error) {
    while (::write(fd, &error, sizeof error) < 0 && errno == EINTR) {
    }
}

// Runs in the grandchild and never returns. Only calls that are safe after a
// fork in a process with threads.
[[noreturn]] void execute(char* const* argv, int reportFd) {
    // Its own session: the client is no part of the updater's terminal or
    // process group, whatever ends those.
    ::setsid();
    resetSignals();
#ifdef CLOSE_RANGE_CLOEXEC
    // Nothing the updater holds open, such as its lock file, may stay open
    // in the client; the report pipe closes with the exec as well.
    ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
#endif
    ::execve(argv[0], argv, environ);
    report(reportFd, errno);
    ::_exit(127);
}

// The middle child: starts the program and ends at once.
[[noreturn]] void startGrandchild(char* const* argv, int readFd, int reportFd) {
    ::close(readFd);
    const pid_t grandchild = ::fork();
    if (grandchild == 0) {
        execute(argv, reportFd);
    }
    if (grandchild < 0) {
        report(reportFd, errno);
    }
    ::_exit(0);
}

// Waits for the middle child, then reads what the exec reported: nothing when
// it succeeded.
bool execSucceeded(pid_t middle, int readFd) {
    while (::waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got = 0;
    do {
        got = ::read(readFd, &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(readFd);
    return got == 0;
}

std::vector<char*> argumentVector(const std::string& program,
                                  const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    return argv;
}

} // namespace

// Two forks: the program is the child of a child that ends at once, so that it
// is nobody's zombie here and belongs to the system, which outlives us. A pipe
// that closes on exec tells whether the exec succeeded: it reaches its end
// unread when it did, and carries the exec's error when it did not.
bool startProgram(const std::string& program, const std::vector<std::string>& arguments) {
    if (program.empty()) {
        return false;
    }
    // Everything the children use is made before the fork: after it, memory
    // may not be allocated.
    const std::vector<char*> argv = argumentVector(program, arguments);

    int pipeFds[2] = {-1, -1};
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return false;
    }
    // No signal handler of ours may run in a child before its exec.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t middle = ::fork();
    if (middle == 0) {
        startGrandchild(argv.data(), pipeFds[0], pipeFds[1]);
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(pipeFds[1]);
    if (middle < 0) {
        ::close(pipeFds[0]);
        return false;
    }
    return execSucceeded(middle, pipeFds[0]);
}

} // namespace qlx

#include "support/updater_run.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace qlx::test {

namespace {

using Clock = std::chrono::steady_clock;

std::string unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            out += next == 'r' ? '\r' : next == 'n' ? '\n' : next == 't' ? '\t' : next;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(separator, start)) != std::string::npos;
         start = end + 1) {
        parts.push_back(text.substr(start, end - start));
    }
    parts.push_back(text.substr(start));
    return parts;
}

std::string joined(const std::vector<std::string>& parts, char separator) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        out += (i == 0 ? "" : std::string(1, separator)) + parts[i];
    }
    return out;
}

// The test's environment with `assignments` (NAME=value) put over it.
std::vector<std::string> environmentWith(const std::vector<std::string>& assignments) {
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string assignment = *entry;
        variables[assignment.substr(0, assignment.find('='))] = assignment;
    }
    for (const std::string& assignment : assignments) {
        variables[assignment.substr(0, assignment.find('='))] = assignment;
    }
    std::vector<std::string> result;
    for (const auto& [name, assignment] : variables) {
        result.push_back(assignment);
    }
    return result;
}

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings) {
        pointers.push_back(s.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Appends what the pipe holds now, without waiting.
void drain(int fd, std::string& into) {
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
        into.append(buffer, static_cast<std::size_t>(n));
    }
}

} // namespace

std::string binFolder() {
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error).parent_path().string();
}

UpdaterRun::UpdaterRun() = default;

void UpdaterRun::installStandInClient() {
    const std::string client = path("quillon");
    writeFile(client, "#!/bin/sh\n"
                      "out=\"$(dirname \"$0\")/client-args.txt\"\n"
                      ": > \"$out.part\"\n"
                      "for a in \"$@\"; do printf '%s\\n' \"$a\" >> \"$out.part\"; done\n"
                      "mv \"$out.part\" \"$out\"\n");
    chmod(client.c_str(), S_IRWXU);
}

std::optional<std::vector<std::string>> UpdaterRun::clientArguments(int waitMs) const {
    const std::string file = path("client-args.txt");
    for (int waited = 0; !fileExists(file) && waited < waitMs; waited += 20) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!fileExists(file)) {
        return std::nullopt;
    }
    std::vector<std::string> lines = split(readFile(file), '\n');
    if (!lines.empty() && lines.back().empty()) {
        lines.pop_back();
    }
    return lines;
}

int UpdaterRun::run(const std::string& executable, const std::string& arguments,
                    const std::vector<std::string>& answers,
                    const std::vector<std::string>& environment, int timeoutMs) {
    errorOutput_.clear();
    std::vector<std::string> assignments{"QT_QPA_PLATFORM=offscreen",
                                         "QLX_BOX_LOG=" + private_.filePath("boxes.log"),
                                         "QLX_BOX_ANSWERS=" + joined(answers, ',')};
    assignments.insert(assignments.end(), environment.begin(), environment.end());
    std::vector<std::string> envStrings = environmentWith(assignments);

    const std::string program = (std::filesystem::path(binFolder()) / executable).string();
    std::vector<std::string> argvStrings = launcher_;
    argvStrings.push_back(program);
    // The client hands over one argument text; POSIX passes it as one argument.
    if (!arguments.empty()) {
        argvStrings.push_back(arguments);
    }
    std::vector<char*> argv = pointersTo(argvStrings);
    std::vector<char*> envp = pointersTo(envStrings);

    int errorPipe[2];
    if (pipe2(errorPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder().c_str());
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errorPipe[1], STDERR_FILENO);
    pid_t pid = 0;
    // The launcher, when there is one, is looked up on the PATH.
    const int spawned =
        posix_spawnp(&pid, argv.front(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(errorPipe[1]);
    if (spawned != 0) {
        close(errorPipe[0]);
        return -1;
    }

    // Waits for the program itself, not for the end of its error output:
    // the client it starts may hold that open a little longer.
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    bool finished = false;
    while (!finished && Clock::now() < deadline) {
        pollfd readable{errorPipe[0], POLLIN, 0};
        poll(&readable, 1, 20);
        drain(errorPipe[0], errorOutput_);
        finished = waitpid(pid, &status, WNOHANG) == pid;
        if (!finished && (readable.revents & POLLHUP) != 0) {
            // Nobody writes any more; poll would not wait again.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    if (!finished) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    drain(errorPipe[0], errorOutput_);
    close(errorPipe[0]);
    std::fwrite(errorOutput_.data(), 1, errorOutput_.size(), stderr);
    if (!finished) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<UpdaterRun::Box> UpdaterRun::boxes() const {
    std::vector<Box> result;
    const std::string log = private_.filePath("boxes.log");
    if (!fileExists(log)) {
        return result;
    }
    for (const std::string& line : split(readFile(log), '\n')) {
        if (line.empty()) {
            continue;
        }
        std::vector<std::string> fields = split(line, '\t');
        fields.resize(3);
        result.push_back({unescape(fields[0]), unescape(fields[1]), fields[2]});
    }
    return result;
}

} // namespace qlx::test

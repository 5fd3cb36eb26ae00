#include "process/process_start.h"
#include "process/process_table_linux.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qlx {
namespace {

// Polls until `condition` holds, for at most ten seconds.
template <typename Condition> bool eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// The arguments the recorder wrote to `file`.
std::vector<std::string> recorded(const std::string& file) {
    std::vector<std::string> arguments;
    if (!eventually([&] { return test::fileExists(file); })) {
        return {"<nothing recorded>"};
    }
    const std::string all = test::readFile(file);
    for (std::size_t start = 0; start < all.size();) {
        const std::size_t end = all.find('\0', start);
        arguments.push_back(all.substr(start, end - start));
        start = end == std::string::npos ? all.size() : end + 1;
    }
    return arguments;
}

// Neither the program nor a helper of the start is left as a child of ours:
// nothing to wait for, and no zombie.
bool noChildLeft() {
    return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

TEST(StartProgram, EachArgumentArrivesWholeAndNoShellReadsIt) {
    const test::TempDir dir;
    const std::string out = dir.filePath("argv");
    const std::vector<std::string> arguments = {"C:\\A B\\quil.psr",
                                                "",
                                                "say \"hi\"",
                                                "back\\slash\\",
                                                "\\\"",
                                                " lead ",
                                                "-x",
                                                "$HOME;*|&`id`",
                                                "tab\there\nline",
                                                "한글 인수"};
    std::vector<std::string> all{out};
    all.insert(all.end(), arguments.begin(), arguments.end());
    ASSERT_TRUE(startProgram(QLX_ARGV_RECORD, all));
    EXPECT_TRUE(noChildLeft());
    EXPECT_EQ(recorded(out), arguments);
}

TEST(StartProgram, WhatCannotRunIsNotStarted) {
    const test::TempDir dir;
    const std::string text = dir.filePath("not-a-program");
    ASSERT_TRUE(test::writeFile(text, "#!/bin/sh\nexit 0\n")); // not executable
    for (const std::string& program : {dir.filePath("missing"), text, dir.path(), std::string()}) {
        EXPECT_FALSE(startProgram(program, {"x"})) << program;
    }
    EXPECT_TRUE(noChildLeft());
}

// The client is started by an updater that ends right after: it must keep
// running, in a session of its own.
TEST(StartProgram, TheProgramOutlivesTheProcessThatStartedIt) {
    const test::TempDir dir;
    const std::string name = "qlx_started_" + std::to_string(::getpid());
    const std::string program = dir.filePath(name);
    ASSERT_TRUE(std::filesystem::copy_file("/bin/sleep", program));
    // Open in the starter and not marked to close on exec, like a lock file.
    const int held = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(held, 0);
    const pid_t starter = ::fork();
    ASSERT_GE(starter, 0);
    if (starter == 0) {
        ::_exit(startProgram(program, {"60"}) ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(starter, &status, 0), starter);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    LinuxProcessTable table;
    std::uint32_t pid = 0;
    ASSERT_TRUE(eventually([&] {
        for (const ProcessEntry& entry : table.snapshot().rest) {
            pid = entry.exeName == name ? entry.pid : pid;
        }
        return pid != 0;
    }));
    // /proc/PID/stat: pid (comm) state ppid pgrp session ...
    const std::string stat = test::readFile("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    char state = 0;
    long parent = 0;
    long group = 0;
    long session = 0;
    fields >> state >> parent >> group >> session;
    EXPECT_NE(parent, static_cast<long>(::getpid()));
    EXPECT_NE(parent, static_cast<long>(starter));
    EXPECT_EQ(session, static_cast<long>(pid));
    // The program's own loader opens its libraries for a moment as it starts;
    // a descriptor it inherited stays open.
    std::string inherited;
    EXPECT_TRUE(eventually([&] {
        inherited.clear();
        for (const auto& fd :
             std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd")) {
            if (std::stoi(fd.path().filename().string()) >= 3) {
                inherited += " " + fd.path().string();
            }
        }
        return inherited.empty();
    })) << "inherited"
        << inherited;
    ::close(held);
    EXPECT_TRUE(table.terminate(pid));
}

} // namespace
} // namespace qlx

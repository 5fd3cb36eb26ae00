#include "process/nvo_process.h"
#include "process/process_table_linux.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace qlx {
namespace {

// A /proc of our own making for the fallback rules; each file is only written
// when given.
class FakeProc {
public:
    struct Process {
        std::uint32_t pid;
        std::string exeLink;
        std::optional<std::string> stat;
        std::optional<std::string> cmdline;
        std::optional<std::string> comm;
    };

    void add(const Process& p) {
        const std::string dir = dir_.filePath(std::to_string(p.pid));
        std::filesystem::create_directories(dir);
        if (!p.exeLink.empty()) {
            EXPECT_EQ(::symlink(p.exeLink.c_str(), (dir + "/exe").c_str()), 0);
        }
        write(dir + "/stat", p.stat);
        write(dir + "/cmdline", p.cmdline);
        write(dir + "/comm", p.comm);
    }
    [[nodiscard]] const std::string& root() const { return dir_.path(); }
    [[nodiscard]] std::string path(const std::string& name) const { return dir_.filePath(name); }

private:
    static void write(const std::string& path, const std::optional<std::string>& bytes) {
        if (bytes) {
            EXPECT_TRUE(test::writeFile(path, *bytes));
        }
    }
    test::TempDir dir_;
};

std::vector<std::pair<std::uint32_t, std::string>> listOf(const ProcessSnapshot& s) {
    std::vector<std::pair<std::uint32_t, std::string>> out;
    for (const ProcessEntry& e : s.rest) {
        out.emplace_back(e.pid, e.exeName);
    }
    return out;
}

TEST(LinuxProcessTableTest, NamesFollowExeThenCommandLineThenComm) {
    FakeProc proc;
    const std::string kept = proc.path("keep (deleted)");
    ASSERT_TRUE(test::writeFile(kept, ""));
    const std::string longName(300, 'q');
    const std::string running = "0 (x) S 1 0";
    proc.add({100, {}, running, "", "kworker/0:1\n"});
    proc.add({20, {}, running, std::string("/usr/local/bin/quilmsg\0--flag\0", 30), "quilmsg\n"});
    proc.add({3, "/opt/client/quillon", "3 (quillon) S 1", {}, {}});
    proc.add({1, "/sbin/init", {}, {}, {}});
    proc.add({5, {}, "5 (quillon) Z 1 0", "", "quillon\n"});
    proc.add({7, {}, "7 (a) Z (b) S 1", std::string("x\0", 2), {}});
    proc.add({8, "/opt/client/quillon (deleted)", {}, {}, {}});
    proc.add({9, kept, {}, {}, {}});
    proc.add({11, "/opt/" + longName, {}, {}, {}});
    proc.add({12, {}, {}, std::string("gone\0", 5), "gone\n"});
    proc.add({13, {}, running, std::string("ql_tel\0", 7), "ql_tel\n"});
    std::filesystem::create_directories(proc.path("self"));
    std::filesystem::create_directories(proc.path("99999999999"));

    LinuxProcessTable table(proc.root());
    const ProcessSnapshot s = table.snapshot();
    EXPECT_EQ(s.first.pid, 1U);
    EXPECT_EQ(s.first.exeName, "init");
    const std::vector<std::pair<std::uint32_t, std::string>> expected = {
        {3, "quillon"},
        {7, "x"},
        {8, "quillon"},
        {9, "keep (deleted)"},
        {11, longName.substr(0, ProcessEntry::kMaxExeName)},
        {13, "ql_tel"},
        {20, "quilmsg"},
        {100, "kworker/0:1"},
    };
    EXPECT_EQ(listOf(s), expected);

    nvo_process process(std::make_unique<LinuxProcessTable>(proc.root()));
    EXPECT_EQ(process.uf_getprocesscount("quillon"), 2);
    EXPECT_EQ(process.uf_getprocesscount("init"), 0);
}

TEST(LinuxProcessTableTest, NoListGivesAnEmptyFirstEntry) {
    const test::TempDir empty;
    for (const std::string& root : {empty.path(), empty.filePath("missing")}) {
        const ProcessSnapshot s = LinuxProcessTable(root).snapshot();
        EXPECT_EQ(s.first.pid, 0U);
        EXPECT_TRUE(s.first.exeName.empty());
        EXPECT_TRUE(s.rest.empty());
    }
}

TEST(LinuxProcessTableTest, IdsThatNameNoSingleProcessAreNotSignalled) {
    LinuxProcessTable table;
    // kill() would take these as our process group or every process we may signal.
    EXPECT_FALSE(table.terminate(0));
    EXPECT_FALSE(table.terminate(0xFFFFFFFFU));
    EXPECT_FALSE(table.terminate(static_cast<std::uint32_t>(INT_MAX) + 1U));
    const std::string pidMax = test::readFile("/proc/sys/kernel/pid_max");
    const unsigned long highest = std::strtoul(pidMax.c_str(), nullptr, 10);
    ASSERT_GT(highest, 0UL) << pidMax;
    const auto beyond = static_cast<std::uint32_t>(highest + 1);
    EXPECT_FALSE(table.terminate(beyond));
}

} // namespace
} // namespace qlx

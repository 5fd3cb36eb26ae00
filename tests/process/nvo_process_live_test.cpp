#include "process/nvo_process.h"
#include "process/process_table_linux.h"
#include "support/child_processes.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <signal.h>
#include <thread>
#include <unistd.h>

namespace qlx {
namespace {

using testing::ChildProcesses;
using testing::ProcView;

const std::string kLongName = "quillon_with_a_long_name";

// Real copies of sleep under the programs' names. Counting and killing by name
// goes through a view of /proc that holds only our children (and pid 1 as the
// first entry), so that the tests never see or kill anybody else's programs.
class LiveProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kids_.valid());
        for (const char* name : {"quillon", "quillon", "quilmsg", "ql_label", "ql_tel", "qlx_upt",
                                 "qlx_upt", "Quillon"}) {
            const std::uint32_t pid = kids_.start(name);
            ASSERT_NE(pid, 0U);
            pids_[name].push_back(pid);
        }
        ASSERT_NE(kids_.start(kLongName), 0U);
    }

    struct ProcessView {
        explicit ProcessView(const std::vector<std::uint32_t>& pids)
            : links(pids), table(links.root()) {}
        ProcView links;
        LinuxProcessTable table;
    };

    [[nodiscard]] std::unique_ptr<ProcessView> view() const {
        std::vector<std::uint32_t> pids = kids_.running();
        pids.push_back(1);
        return std::make_unique<ProcessView>(pids);
    }

    // nvo_process over a fresh view of the children running now.
    [[nodiscard]] nvo_process overView() {
        views_.push_back(view());
        return nvo_process(std::make_unique<Borrowed>(views_.back()->table));
    }

    // Lets several objects share one table without owning it.
    class Borrowed final : public ProcessTable {
    public:
        explicit Borrowed(ProcessTable& t) : t_(t) {}
        [[nodiscard]] ProcessSnapshot snapshot() override { return t_.snapshot(); }
        bool terminate(std::uint32_t pid) override { return t_.terminate(pid); }

    private:
        ProcessTable& t_;
    };

    ChildProcesses kids_;
    std::map<std::string, std::vector<std::uint32_t>> pids_;
    std::vector<std::unique_ptr<ProcessView>> views_;
};

TEST_F(LiveProcessTest, CountsRunningProgramsByTheirExactName) {
    nvo_process process = overView();
    process.uf_setcurpid(pids_["qlx_upt"].front());
    const std::vector<std::pair<std::string, int>> cases = {
        {"quillon", 2},
        {"quilmsg", 1},
        {"ql_label", 1},
        {"ql_tel", 1},
        {"qlx_upt", 1},
        {"Quillon", 1},
        {"QUILLON", 0},
        {"quillon.exe", 0},
        {"sleep", 0},
        {kLongName, 1},
        {kLongName.substr(0, 15), 0},
    };
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(process.uf_getprocesscount(name), expected) << name;
    }
    process.uf_setcurpid(std::nullopt);
    EXPECT_EQ(process.uf_getprocesscount("quillon"), 0);
    EXPECT_EQ(process.uf_getprocesscount("qlx_upt"), 0);
}

TEST_F(LiveProcessTest, KillCountTerminatesTheStoredIdToo) {
    nvo_process process = overView();
    process.uf_setcurpid(pids_["qlx_upt"].front());
    EXPECT_EQ(process.uf_killprocesscount("qlx_upt"), 2);
    for (const std::uint32_t pid : pids_["qlx_upt"]) {
        EXPECT_TRUE(kids_.reap(pid)) << pid << " survived";
    }
    EXPECT_EQ(process.uf_killprocesscount("quillon"), 2);
    for (const std::uint32_t pid : pids_["quillon"]) {
        EXPECT_TRUE(kids_.reap(pid)) << pid << " survived";
    }
    EXPECT_EQ(process.uf_getprocesscount("quillon"), 0);
    EXPECT_EQ(process.uf_getprocesscount("Quillon"), 1);
    EXPECT_EQ(process.uf_killprocesscount("qlx_upt"), 0);
    EXPECT_TRUE(process.uf_getprocess("ql_tel"));
    EXPECT_TRUE(kids_.reap(pids_["ql_tel"].front()));
    EXPECT_FALSE(process.uf_getprocess("ql_tel"));
}

TEST_F(LiveProcessTest, ZombiesAreNotCounted) {
    const std::uint32_t pid = pids_["quilmsg"].front();
    ASSERT_EQ(kill(static_cast<pid_t>(pid), SIGKILL), 0);
    // Until it is reaped the ended child stays in /proc as a zombie.
    const std::string stat = "/proc/" + std::to_string(pid) + "/stat";
    bool zombie = false;
    for (int i = 0; i < 500 && !zombie; ++i) {
        const std::string text = test::readFile(stat);
        const std::size_t close = text.rfind(')');
        zombie = close != std::string::npos && text.compare(close + 2, 1, "Z") == 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(zombie);
    nvo_process process = overView();
    EXPECT_EQ(process.uf_getprocesscount("quilmsg"), 0);
    EXPECT_EQ(process.uf_killprocesscount("quilmsg"), 0);
    EXPECT_TRUE(kids_.reap(pid));
}

// Kills and reaps one process right after the snapshot was taken, as if it had
// ended on its own in between.
class EndsAfterSnapshot final : public ProcessTable {
public:
    EndsAfterSnapshot(ProcessTable& table, ChildProcesses& kids, std::uint32_t victim)
        : table_(table), kids_(kids), victim_(victim) {}
    [[nodiscard]] ProcessSnapshot snapshot() override {
        ProcessSnapshot s = table_.snapshot();
        kill(static_cast<pid_t>(victim_), SIGKILL);
        kids_.reap(victim_);
        return s;
    }
    bool terminate(std::uint32_t pid) override { return table_.terminate(pid); }

private:
    ProcessTable& table_;
    ChildProcesses& kids_;
    std::uint32_t victim_;
};

TEST_F(LiveProcessTest, AProcessThatEndsBeforeItsTurnIsNotCounted) {
    auto v = view();
    const std::uint32_t victim = pids_["quillon"].back();
    nvo_process process(std::make_unique<EndsAfterSnapshot>(v->table, kids_, victim));
    EXPECT_EQ(process.uf_killprocesscount("quillon"), 1);
    EXPECT_TRUE(kids_.reap(pids_["quillon"].front()));
    EXPECT_FALSE(process.uf_killprocess(victim));
}

TEST_F(LiveProcessTest, TheSystemTableSeesChildrenByTheirFullName) {
    const ProcessSnapshot s = makeSystemProcessTable()->snapshot();
    std::map<std::uint32_t, std::string> names;
    for (const ProcessEntry& e : s.rest) {
        names[e.pid] = e.exeName;
    }
    for (const auto& [name, pids] : pids_) {
        for (const std::uint32_t pid : pids) {
            EXPECT_EQ(names[pid], name) << pid;
        }
    }
    // comm is cut at 15 bytes; the name comes from the executable.
    const std::uint32_t longPid = kids_.running().back();
    EXPECT_EQ(test::readFile("/proc/" + std::to_string(longPid) + "/comm"),
              kLongName.substr(0, 15) + "\n");
    EXPECT_EQ(names[longPid], kLongName);
    EXPECT_LT(s.first.pid, s.rest.front().pid);
}

// On the real /proc, with a name nobody else uses, so that killing by name
// cannot reach another program.
TEST_F(LiveProcessTest, CountsAndKillsByNameOnTheRealProcessTable) {
    const std::string unique = "qlx_test_" + std::to_string(getpid());
    const std::uint32_t a = kids_.start(unique);
    const std::uint32_t b = kids_.start(unique);
    ASSERT_NE(a, 0U);
    ASSERT_NE(b, 0U);
    nvo_process process;
    EXPECT_EQ(process.uf_getprocesscount(unique), 2);
    process.uf_setcurpid(a);
    EXPECT_EQ(process.uf_getprocesscount(unique), 1);
    EXPECT_EQ(process.uf_killprocesscount(unique), 2);
    EXPECT_TRUE(kids_.reap(a));
    EXPECT_TRUE(kids_.reap(b));
    process.uf_setcurpid(0);
    EXPECT_EQ(process.uf_getprocesscount(unique), 0);
    EXPECT_FALSE(process.uf_killprocess(a));
}

} // namespace
} // namespace qlx

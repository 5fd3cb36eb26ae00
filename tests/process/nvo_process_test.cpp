#include "process/nvo_process.h"
#include "process/scripted_process_table.h"

#include <gtest/gtest.h>

#include <tuple>

namespace qlx {
namespace {

using testing::entry;
using testing::ScriptedProcessTable;

struct Scripted {
    ScriptedProcessTable* table = nullptr;
    std::unique_ptr<nvo_process> process;
};

Scripted make(ProcessEntry first, std::vector<ProcessEntry> rest,
              std::set<std::uint32_t> refusing = {}) {
    auto table = std::make_unique<ScriptedProcessTable>(std::move(first), std::move(rest),
                                                        std::move(refusing));
    Scripted s;
    s.table = table.get();
    s.process = std::make_unique<nvo_process>(std::move(table));
    return s;
}

// The first entry carries a matching name in every script: only uf_getprocess
// may look at it.
const std::vector<ProcessEntry> kRest = {
    entry(10, "quillon"), entry(11, "  quillon  "), entry(12, "Quillon"), entry(13, "quillon.exe"),
    entry(7, "quillon"),  entry(14, "quillon"),     entry(15, "quilmsg"),
};

TEST(NvoProcessTest, CountsTrimmedExactNamesExceptTheStoredId) {
    const std::vector<std::tuple<std::optional<std::uint32_t>, OptString, int>> cases = {
        {7, "quillon", 3},
        {99, "quillon", 4},
        {std::nullopt, "quillon", 0},
        {std::nullopt, "quilmsg", 0},
        {7, " quillon", 0},
        {7, "QUILLON", 0},
        {7, "Quillon", 1},
        {7, "quilmsg", 1},
        {7, std::nullopt, 0},
        {7, "", 0},
        {0, "quillon", 4},
    };
    for (const auto& [pid, name, expected] : cases) {
        auto s = make(entry(1, "quillon"), kRest);
        s.process->uf_setcurpid(pid);
        EXPECT_EQ(s.process->uf_getprocesscount(name), expected)
            << "pid " << pid.value_or(0) << (pid ? "" : " (null)") << ", name "
            << name.value_or("<null>");
        EXPECT_TRUE(s.table->terminated().empty());
    }
}

TEST(NvoProcessTest, IdZeroSkipsOnlyEntriesWithIdZero) {
    auto s = make(entry(4, "init"), {entry(0, "quillon"), entry(5, "quillon")});
    EXPECT_TRUE(s.process->uf_setcurpid(0));
    EXPECT_EQ(s.process->uf_getprocesscount("quillon"), 1);
    EXPECT_FALSE(s.process->uf_setcurpid(std::nullopt));
    EXPECT_EQ(s.process->uf_getprocesscount("quillon"), 0);
    EXPECT_TRUE(s.process->uf_setcurpid(5));
    EXPECT_EQ(s.process->uf_getprocesscount("quillon"), 1);
    EXPECT_EQ(s.table->snapshots(), 3);
}

TEST(NvoProcessTest, KillCountCountsSuccessfulTerminationsOnly) {
    auto s = make(entry(1, "quillon"), kRest, {14});
    s.process->uf_setcurpid(7);
    EXPECT_EQ(s.process->uf_killprocesscount("quillon"), 3);
    // The stored id is terminated too, the first entry is not looked at.
    EXPECT_EQ(s.table->terminated(), (std::vector<std::uint32_t>{10, 11, 7, 14}));

    auto refusing =
        make(entry(1, "x"), {entry(2, "ql_tel"), entry(3, "ql_tel"), entry(4, "ql_tel")}, {3});
    EXPECT_EQ(refusing.process->uf_killprocesscount("ql_tel"), 2);
    EXPECT_EQ(refusing.table->terminated(), (std::vector<std::uint32_t>{2, 3, 4}));

    auto none = make(entry(1, "x"), kRest);
    EXPECT_EQ(none.process->uf_killprocesscount(std::nullopt), 0);
    EXPECT_EQ(none.process->uf_killprocesscount("QUILLON"), 0);
    EXPECT_TRUE(none.table->terminated().empty());
}

TEST(NvoProcessTest, KillProcessReturnsWhatTheTableReports) {
    auto s = make(entry(1, "x"), {}, {9});
    EXPECT_TRUE(s.process->uf_killprocess(8));
    EXPECT_FALSE(s.process->uf_killprocess(9));
    EXPECT_EQ(s.table->terminated(), (std::vector<std::uint32_t>{8, 9}));
}

TEST(NvoProcessTest, GetProcessMatchesTheFirstEntryUntrimmedAndStopsThere) {
    auto s = make(entry(1, " quillon"), kRest);
    EXPECT_TRUE(s.process->uf_getprocess(" quillon"));
    EXPECT_EQ(s.table->terminated(), (std::vector<std::uint32_t>{1}));

    // Trimmed, the first entry would match; untrimmed it does not, so the rest is walked.
    auto rest = make(entry(1, " quillon"), kRest, {10, 11, 7, 14});
    EXPECT_TRUE(rest.process->uf_getprocess("quillon"));
    EXPECT_EQ(rest.table->terminated(), (std::vector<std::uint32_t>{10, 11, 7, 14}));

    auto none = make(entry(1, "quillon"), kRest);
    EXPECT_FALSE(none.process->uf_getprocess("ql_label"));
    EXPECT_FALSE(none.process->uf_getprocess(std::nullopt));
    EXPECT_TRUE(none.table->terminated().empty());
}

TEST(NvoProcessTest, AnEmptyListStillOffersItsEmptyFirstEntry) {
    auto s = make(ProcessEntry{}, {});
    EXPECT_EQ(s.process->uf_getprocesscount(""), 0);
    EXPECT_FALSE(s.process->uf_getprocess("quillon"));
    EXPECT_TRUE(s.process->uf_getprocess(""));
    EXPECT_EQ(s.table->terminated(), (std::vector<std::uint32_t>{0}));
}

TEST(NvoProcessTest, CountsWrapLikeSixteenBitIntegers) {
    std::vector<ProcessEntry> many(40000, entry(2, "quillon"));
    auto s = make(entry(1, "x"), std::move(many));
    EXPECT_EQ(s.process->uf_getprocesscount("quillon"), static_cast<std::int16_t>(40000 - 65536));
}

} // namespace
} // namespace qlx

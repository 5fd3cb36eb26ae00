#include "db/transaction.h"
#include "process/nvo_process.h"
#include "process/scripted_process_table.h"
#include "support/child_processes.h"
#include "support/own_process_table.h"
#include "support/test_files.h"
#include "support/window_fixture.h"

namespace qlx {
namespace {

const std::string kReboot = "Quillon를 다시 실행해 주십시오. 계속 실패할 경우\r\n"
                            "사용 중인 PC를 재부팅 하신 뒤에 다시 시도해 주시기 바랍니다.";

class Startup : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        ASSERT_TRUE(processes.valid());
        // The window counts and terminates real processes by name, but only
        // this test's: the machine's other programs come and go as they like.
        processObjectOverride = [this] {
            return std::make_unique<nvo_process>(
                std::make_unique<test::OwnProcessTable>(processes.running()));
        };
    }
    void writeSettings(const std::string& file, const std::string& json) {
        ASSERT_TRUE(test::writeFile(path(file), json));
    }
    testing::ChildProcesses processes;
};

TEST_F(Startup, RefusesAStartWithoutArgumentsBeforeCountingAnything) {
    for (const std::string line : {"", "    "}) {
        int created = 0;
        processObjectOverride = [&] {
            ++created;
            return std::make_unique<nvo_process>();
        };
        port = {};
        makeWindow(line).open();
        ASSERT_EQ(port.boxes.size(), 1u);
        EXPECT_EQ(port.boxes[0].title, "확인!");
        EXPECT_EQ(port.boxes[0].text, "정상적인 업그레이드 방식이 아닙니다.");
        EXPECT_TRUE(port.closed);
        EXPECT_EQ(created, 0);
        EXPECT_EQ(port.postedClicks, 0);
    }
}

TEST_F(Startup, AnyArgumentPassesAndFillsTheTransactionInOrder) {
    makeWindow("  /PID=5;  ").open();
    EXPECT_TRUE(port.boxes.empty());
    EXPECT_FALSE(port.closed);
    EXPECT_EQ(port.statusText, "Quillon 프로그램을 업그레이드 중입니다.");
    EXPECT_EQ(port.postedClicks, 1);
    const Transaction& sqlca = app.sqlca();
    EXPECT_EQ(sqlca.DBMS, "O10 Oracle10g (10.1.0)"); // no settings file
    EXPECT_FALSE(sqlca.AutoCommit);
    EXPECT_EQ(sqlca.DBParm, "CommitOnDisconnect='No'");
    EXPECT_EQ(sqlca.ServerName, "");
    EXPECT_EQ(sqlca.LogId, "QUIL_UPT");
    EXPECT_EQ(sqlca.LogPass, "KOLVEX4923TRA");
}

TEST_F(Startup, SettingsComeFromPsrOrQuilPsrInTheCurrentFolder) {
    writeSettings("quil.psr", R"({"rows":[{"CODE":"DataBase-DBMS","VALUE":"SQLite"}]})");
    writeSettings("other.psr", R"({"rows":[{"CODE":"DataBase-DBMS","VALUE":"PostgreSQL"}]})");

    makeWindow("/PSR=   ;/SERVER=db.sqlite;").open();
    EXPECT_EQ(app.sqlca().DBMS, "SQLite");
    EXPECT_EQ(app.sqlca().ServerName, "db.sqlite");

    makeWindow("/PSR=" + path("other.psr") + ";").open();
    EXPECT_EQ(app.sqlca().DBMS, "PostgreSQL");

    // A leading blank stays part of the path: no such file, so the default.
    makeWindow("/PSR= " + path("other.psr") + ";").open();
    EXPECT_EQ(app.sqlca().DBMS, "O10 Oracle10g (10.1.0)");
}

TEST_F(Startup, ProcessObjectThatCannotBeCreatedRefusesWithBox01) {
    processObjectOverride = []() -> std::unique_ptr<nvo_process> {
        throw std::runtime_error("no process table");
    };
    makeWindow("/PID=1;").open();
    ASSERT_EQ(port.boxes.size(), 1u);
    EXPECT_EQ(port.boxes[0].title, "확인! [01]");
    EXPECT_EQ(port.boxes[0].text, kReboot);
    EXPECT_TRUE(port.closed);
}

TEST_F(Startup, SecondUpdaterRefusesWithBox02AndLeavesTheFirstAlone) {
    const std::uint32_t one = processes.start("qlx_upt");
    makeWindow("/PID=1;").open(); // one updater: normal
    EXPECT_TRUE(port.boxes.empty());

    const std::uint32_t two = processes.start("qlx_upt");
    port = {};
    makeWindow("/PID=1;").open();
    ASSERT_EQ(port.boxes.size(), 1u);
    EXPECT_EQ(port.boxes[0].title, "확인! [02]");
    EXPECT_EQ(port.boxes[0].text, kReboot);
    EXPECT_TRUE(port.closed);
    EXPECT_TRUE(processes.alive(one));
    EXPECT_TRUE(processes.alive(two));
}

TEST_F(Startup, CallingClientAloneBringsNoQuestion) {
    const std::uint32_t client = processes.start("quillon");
    makeWindow("/PID=" + std::to_string(client) + ";").open();
    EXPECT_TRUE(port.boxes.empty());
    EXPECT_EQ(port.postedClicks, 1);
    EXPECT_TRUE(processes.alive(client));
}

TEST_F(Startup, DecliningLeavesTheProgramsRunning) {
    const std::uint32_t a = processes.start("quilmsg");
    const std::uint32_t b = processes.start("ql_tel");
    port.answers = {2};
    makeWindow("/PID=1;").open();
    ASSERT_EQ(port.boxes.size(), 2u);
    EXPECT_TRUE(port.boxes[0].question);
    EXPECT_EQ(port.boxes[0].title, "확인!");
    EXPECT_EQ(port.boxes[0].text, "현재 Quillon 혹은 연관된 프로그램이 2개 실행중입니다.\r\n"
                                  "모든 프로그램을 종료 후에 업데이트를 계속 진행하시겠습니까?");
    EXPECT_EQ(port.boxes[1].text,
              "Quillon와 관련된 모든 프로그램을 종료 후\r\n다시 시도해 주십시오.");
    EXPECT_TRUE(port.closed);
    EXPECT_TRUE(processes.alive(a));
    EXPECT_TRUE(processes.alive(b));
}

TEST_F(Startup, AgreeingTerminatesThemAllTheCallerToo) {
    const std::uint32_t caller = processes.start("quillon");
    const std::uint32_t label = processes.start("ql_label");
    const std::uint32_t msg = processes.start("quilmsg");
    port.answers = {1};
    makeWindow("/PID=" + std::to_string(caller) + ";").open();
    // Two counted, three terminated: below zero counts as success.
    ASSERT_EQ(port.boxes.size(), 1u);
    EXPECT_NE(port.boxes[0].text.find("2개 실행중"), std::string::npos);
    EXPECT_FALSE(port.closed);
    EXPECT_EQ(port.postedClicks, 1);
    // A kill is delivered asynchronously: each must end within a few seconds.
    EXPECT_TRUE(processes.reap(caller));
    EXPECT_TRUE(processes.reap(label));
    EXPECT_TRUE(processes.reap(msg));
}

// No machine can be made to refuse a termination on demand: a scripted table.
TEST_F(Startup, ProgramThatCannotBeTerminatedEndsWithTheFailureBox) {
    using testing::entry;
    processObjectOverride = [] {
        return std::make_unique<nvo_process>(std::make_unique<testing::ScriptedProcessTable>(
            entry(0, "[System Process]"),
            std::vector<ProcessEntry>{entry(10, "quillon"), entry(11, "ql_tel")},
            std::set<std::uint32_t>{11}));
    };
    port.answers = {1};
    makeWindow("/PID=1;").open();
    ASSERT_EQ(port.boxes.size(), 2u);
    EXPECT_NE(port.boxes[0].text.find("2개 실행중"), std::string::npos);
    EXPECT_EQ(port.boxes[1].title, "1개 프로그램 종료 실패!!");
    EXPECT_EQ(port.boxes[1].text, kReboot);
    EXPECT_TRUE(port.closed);
    EXPECT_EQ(port.postedClicks, 0);
}

TEST_F(Startup, LegacyProfileNeverLooksAtProcessesAndUsesItsFixedInterface) {
    const std::uint32_t client = processes.start("quillon");
    writeSettings("quil.psr", R"({"rows":[{"CODE":"DataBase-DBMS","VALUE":"SQLite"}]})");
    int created = 0;
    processObjectOverride = [&] {
        ++created;
        return std::make_unique<nvo_process>();
    };
    makeWindow("/PSR=quil.psr;/SERVER=LEGACY;/BUILDNO=12;", kLegacyProfile).open();
    EXPECT_TRUE(port.boxes.empty());
    EXPECT_EQ(created, 0);
    EXPECT_TRUE(processes.alive(client));
    EXPECT_EQ(app.sqlca().DBMS, "O84 ORACLE 8.0.4");
    EXPECT_EQ(app.sqlca().LogPass, "KOLVEX4923TRA");
    EXPECT_EQ(port.postedClicks, 1);
}

} // namespace
} // namespace qlx

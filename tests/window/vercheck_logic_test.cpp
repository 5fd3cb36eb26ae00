#include "app/version_check.h"
#include "legacy/build_profile.h"
#include "process/nvo_process.h"
#include "support/scripted_port.h"
#include "window/w_vercheck.h"

#include <gtest/gtest.h>

namespace qlx {
namespace {

class VercheckLogic : public ::testing::Test {
protected:
    void SetUp() override { app.create(); }
    void TearDown() override { app.destroy(); }

    version_check app;
    test::ScriptedPort port;
    w_vercheck window{currentProfile(), app, port};
};

TEST_F(VercheckLogic, BarSetsTagThenMaximumAndBarSetsPosition) {
    EXPECT_EQ(window.uf_bar("SET", 3), 0);
    EXPECT_EQ(port.statusTag, "3");
    EXPECT_EQ(port.progressMaximum, 3);
    EXPECT_EQ(window.uf_bar("BAR", 2), 0);
    EXPECT_EQ(port.progressPosition, 2);
}

TEST_F(VercheckLogic, BarIgnoresOtherActionsIncludingLowerCaseAndNull) {
    for (const OptString& action : {OptString("bar"), OptString("set"), OptString(std::string()),
                                    OptString(std::nullopt), OptString("RESET")}) {
        EXPECT_EQ(window.uf_bar(action, 7), 0);
    }
    EXPECT_TRUE(port.positions.empty());
    EXPECT_TRUE(port.maximums.empty());
    EXPECT_TRUE(port.statusTag.empty());
}

TEST_F(VercheckLogic, BarCutsValuesToSixteenBits) {
    window.uf_bar("SET", 65536 + 5);
    EXPECT_EQ(port.progressMaximum, 5);
    EXPECT_EQ(port.statusTag, "5");
    window.uf_bar("BAR", 40000);
    EXPECT_EQ(port.progressPosition, 40000 - 65536);
    window.uf_bar("SET", -1);
    EXPECT_EQ(port.progressMaximum, -1);
    EXPECT_EQ(port.statusTag, "-1");
}

TEST_F(VercheckLogic, ExitAlwaysAnswersO) {
    EXPECT_EQ(w_vercheck::uf_exit("anything"), "O");
    EXPECT_EQ(w_vercheck::uf_exit(std::nullopt), "O");
}

TEST_F(VercheckLogic, OpenKeepsTheTrimmedCommandLine) {
    w_vercheck::Services services = w_vercheck::systemServices();
    services.commandLine = [] { return std::string("   /PID=5;/PSR= C:\\x;  "); };
    services.createProcessObject = [] { return std::unique_ptr<nvo_process>(); };
    w_vercheck opened(currentProfile(), app, port, std::move(services));
    opened.open();
    // No process object: the start was refused, but the command line stays.
    EXPECT_TRUE(port.closed);
    EXPECT_EQ(opened.is_call(), "/PID=5;/PSR= C:\\x;");
    EXPECT_EQ(opened.uf_getstring("/PSR=", opened.is_call()), " C:\\x");
}

} // namespace
} // namespace qlx

#include "platform/command_line.h"

#include <gtest/gtest.h>

namespace qlx {
namespace {

struct Case {
    const char* line;
    const char* text;
};

class CommandLineText : public ::testing::TestWithParam<Case> {};

TEST_P(CommandLineText, TakesTheTextAfterTheProgramName) {
    const Case& c = GetParam();
    EXPECT_EQ(commandLineText(c.line), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, CommandLineText,
    ::testing::Values(
        // unquoted: the name ends at the first blank
        Case{"qlx_upt.exe /PID=1;", "/PID=1;"}, Case{"qlx_upt.exe", ""},
        Case{"qlx_upt.exe  /A=1;", " /A=1;"}, Case{"", ""},
        // quoted: the closing quote and one separator are skipped
        Case{"\"C:\\Program Files\\qlx_upt.exe\" /PSR=C:\\A B\\q.psr;", "/PSR=C:\\A B\\q.psr;"},
        Case{"\"C:\\q.exe\"x/A=1;", "/A=1;"},
        // fewer than three characters from the closing quote on
        Case{"\"C:\\q.exe\"", ""}, Case{"\"C:\\q.exe\" ", ""}, Case{"\"C:\\q.exe\" x", "x"},
        // no closing quote: everything after the opening one
        Case{"\"C:\\q.exe /A=1;", "C:\\q.exe /A=1;"}, Case{"\"", ""},
        Case{"qlx_upt /FILE=한글 파일.zip;", "/FILE=한글 파일.zip;"},
        // the separator is one character, however many bytes it takes
        Case{"\"C:\\q.exe\"한/A=1;", "/A=1;"}, Case{"\"C:\\q.exe\"한", ""}));

TEST(JoinArguments, JoinsWithSingleBlanks) {
    EXPECT_EQ(joinArguments({}), "");
    EXPECT_EQ(joinArguments({"/PID=1;/PSR=/home/a", "b/q.psr;"}), "/PID=1;/PSR=/home/a b/q.psr;");
    EXPECT_EQ(joinArguments({"", "x", ""}), " x ");
}

} // namespace
} // namespace qlx

#include "window/argument_string.h"

#include <gtest/gtest.h>

namespace qlx {
namespace {

const std::string kCall = "/PID=12;/PSR=C:\\A B\\quil.psr;/SERVER=X;";

TEST(GetString, FindsValuesWherever_TheKeyStands) {
    EXPECT_EQ(uf_getstring("/PID=", kCall), "12");
    EXPECT_EQ(uf_getstring("/PSR=", kCall), "C:\\A B\\quil.psr");
    EXPECT_EQ(uf_getstring("/SERVER=", kCall), "X");
}

TEST(GetString, MissingEmptyAndOtherCaseKeysGiveEmpty) {
    EXPECT_EQ(uf_getstring("/SERVER=", "/PID=12;"), "");
    EXPECT_EQ(uf_getstring("/PSR=", "/PSR=;"), "");
    EXPECT_EQ(uf_getstring("/PSR=", "/psr=x;"), "");
    EXPECT_EQ(uf_getstring("", kCall), "");
}

TEST(GetString, KeySlashIsPartOfTheKey) {
    const std::string call = "/PID=7;/ID=abc;";
    EXPECT_EQ(uf_getstring("/ID=", call), "abc");
    EXPECT_EQ(uf_getstring("/ID=", "/PID=7;"), "");
}

TEST(GetString, FirstOccurrenceWinsAndTextBetweenFieldsIsIgnored) {
    const std::string call = "junk /A=1; more /A=2;/B=x=y\\z;";
    EXPECT_EQ(uf_getstring("/A=", call), "1");
    EXPECT_EQ(uf_getstring("/B=", call), "x=y\\z");
}

TEST(GetString, ValueWithoutClosingSemicolonIsEmpty) {
    EXPECT_EQ(uf_getstring("/A=", "/B=1;/A=5"), "");
}

TEST(GetString, NullArgumentsGiveEmptyNotNull) {
    const std::string byNullKey = uf_getstring(std::nullopt, kCall);
    const std::string byNullText = uf_getstring("/PID=", std::nullopt);
    EXPECT_TRUE(byNullKey.empty());
    EXPECT_TRUE(byNullText.empty());
}

TEST(GetString, HangulValuesAndLongLines) {
    const std::string call = "/FILE=업데이트 파일.zip;/ID=한글;";
    EXPECT_EQ(uf_getstring("/FILE=", call), "업데이트 파일.zip");

    const std::string big(32 * 1024, 'x');
    const std::string line = "/PID=1;" + big + "/PSR=" + big + ';';
    EXPECT_EQ(uf_getstring("/PSR=", line), big);
}

TEST(SetString, AppendsReplacesAndKeepsUnterminatedTail) {
    EXPECT_EQ(uf_setstring("/A=", "/B=1;", "2"), "/B=1;/A=2;");
    EXPECT_EQ(uf_setstring("/A=", "/B=1;/A=5;/C=3;", "2"), "/B=1;/A=2;/C=3;");
    EXPECT_EQ(uf_setstring("/A=", "/A=5", "2"), "/A=2;5");
}

TEST(SetString, ReadsBackWhatItSet) {
    const OptString set = uf_setstring("/PSR=", kCall, "D:\\새 폴더\\q.psr");
    ASSERT_TRUE(set.has_value());
    EXPECT_EQ(uf_getstring("/PSR=", set), "D:\\새 폴더\\q.psr");
    EXPECT_EQ(uf_getstring("/SERVER=", set), "X");
}

TEST(SetString, AnyNullArgumentGivesNull) {
    EXPECT_FALSE(uf_setstring(std::nullopt, kCall, "1").has_value());
    EXPECT_FALSE(uf_setstring("/A=", std::nullopt, "1"));
    EXPECT_FALSE(uf_setstring("/A=", kCall, std::nullopt));
}

TEST(Blanks, OnlySpacesAreTrimmed) {
    EXPECT_EQ(trimBlanks(std::string("  a b  ")), std::string("a b"));
    EXPECT_EQ(trimTrailingBlanks(std::string("  a  ")), std::string("  a"));
    EXPECT_TRUE(isBlank(std::nullopt));
    EXPECT_TRUE(isBlank("   "));
    EXPECT_FALSE(isBlank(" x "));
}

} // namespace
} // namespace qlx

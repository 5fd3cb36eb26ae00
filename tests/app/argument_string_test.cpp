#include "app/argument_string.h"

#include <gtest/gtest.h>

namespace qlx {
namespace {

const QString kCall = QStringLiteral("/PID=12;/PSR=C:\\A B\\quil.psr;/SERVER=X;");

TEST(GetString, FindsValuesWherever_TheKeyStands) {
    EXPECT_EQ(uf_getstring(QStringLiteral("/PID="), kCall), QStringLiteral("12"));
    EXPECT_EQ(uf_getstring(QStringLiteral("/PSR="), kCall), QStringLiteral("C:\\A B\\quil.psr"));
    EXPECT_EQ(uf_getstring(QStringLiteral("/SERVER="), kCall), QStringLiteral("X"));
}

TEST(GetString, MissingEmptyAndOtherCaseKeysGiveEmpty) {
    EXPECT_EQ(uf_getstring(QStringLiteral("/SERVER="), QStringLiteral("/PID=12;")), QString());
    EXPECT_EQ(uf_getstring(QStringLiteral("/PSR="), QStringLiteral("/PSR=;")), QString());
    EXPECT_EQ(uf_getstring(QStringLiteral("/PSR="), QStringLiteral("/psr=x;")), QString());
    EXPECT_EQ(uf_getstring(QStringLiteral(""), kCall), QString());
}

TEST(GetString, KeySlashIsPartOfTheKey) {
    const QString call = QStringLiteral("/PID=7;/ID=abc;");
    EXPECT_EQ(uf_getstring(QStringLiteral("/ID="), call), QStringLiteral("abc"));
    EXPECT_EQ(uf_getstring(QStringLiteral("/ID="), QStringLiteral("/PID=7;")), QString());
}

TEST(GetString, FirstOccurrenceWinsAndTextBetweenFieldsIsIgnored) {
    const QString call = QStringLiteral("junk /A=1; more /A=2;/B=x=y\\z;");
    EXPECT_EQ(uf_getstring(QStringLiteral("/A="), call), QStringLiteral("1"));
    EXPECT_EQ(uf_getstring(QStringLiteral("/B="), call), QStringLiteral("x=y\\z"));
}

TEST(GetString, ValueWithoutClosingSemicolonIsEmpty) {
    EXPECT_EQ(uf_getstring(QStringLiteral("/A="), QStringLiteral("/B=1;/A=5")), QString());
}

TEST(GetString, NullArgumentsGiveEmptyNotNull) {
    const QString byNullKey = uf_getstring(std::nullopt, kCall);
    const QString byNullText = uf_getstring(QStringLiteral("/PID="), std::nullopt);
    EXPECT_TRUE(byNullKey.isEmpty());
    EXPECT_TRUE(byNullText.isEmpty());
}

TEST(GetString, HangulValuesAndLongLines) {
    const QString call = QStringLiteral("/FILE=업데이트 파일.zip;/ID=한글;");
    EXPECT_EQ(uf_getstring(QStringLiteral("/FILE="), call), QStringLiteral("업데이트 파일.zip"));

    const QString big = QString(32 * 1024, u'x');
    const QString line = QStringLiteral("/PID=1;") + big + QStringLiteral("/PSR=") + big + u';';
    EXPECT_EQ(uf_getstring(QStringLiteral("/PSR="), line), big);
}

TEST(SetString, AppendsReplacesAndKeepsUnterminatedTail) {
    EXPECT_EQ(uf_setstring(QStringLiteral("/A="), QStringLiteral("/B=1;"), QStringLiteral("2")),
              QStringLiteral("/B=1;/A=2;"));
    EXPECT_EQ(
        uf_setstring(QStringLiteral("/A="), QStringLiteral("/B=1;/A=5;/C=3;"), QStringLiteral("2")),
        QStringLiteral("/B=1;/A=2;/C=3;"));
    EXPECT_EQ(uf_setstring(QStringLiteral("/A="), QStringLiteral("/A=5"), QStringLiteral("2")),
              QStringLiteral("/A=2;5"));
}

TEST(SetString, ReadsBackWhatItSet) {
    const OptString set =
        uf_setstring(QStringLiteral("/PSR="), kCall, QStringLiteral("D:\\새 폴더\\q.psr"));
    ASSERT_TRUE(set.has_value());
    EXPECT_EQ(uf_getstring(QStringLiteral("/PSR="), set), QStringLiteral("D:\\새 폴더\\q.psr"));
    EXPECT_EQ(uf_getstring(QStringLiteral("/SERVER="), set), QStringLiteral("X"));
}

TEST(SetString, AnyNullArgumentGivesNull) {
    EXPECT_FALSE(uf_setstring(std::nullopt, kCall, QStringLiteral("1")).has_value());
    EXPECT_FALSE(uf_setstring(QStringLiteral("/A="), std::nullopt, QStringLiteral("1")));
    EXPECT_FALSE(uf_setstring(QStringLiteral("/A="), kCall, std::nullopt));
}

TEST(Blanks, OnlySpacesAreTrimmed) {
    EXPECT_EQ(trimBlanks(QStringLiteral("  a b  ")), QStringLiteral("a b"));
    EXPECT_EQ(trimTrailingBlanks(QStringLiteral("  a  ")), QStringLiteral("  a"));
    EXPECT_TRUE(isBlank(std::nullopt));
    EXPECT_TRUE(isBlank(QStringLiteral("   ")));
    EXPECT_FALSE(isBlank(QStringLiteral(" x ")));
}

} // namespace
} // namespace qlx

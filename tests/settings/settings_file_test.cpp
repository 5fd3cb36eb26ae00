#include "settings/settings_file.h"

#include <gtest/gtest.h>

namespace qlx {
namespace {

TEST(SettingsFileTest, ByteOrderMarkIsRememberedAndWrittenBack) {
    const std::string withMark = "\xEF\xBB\xBF{\"rows\":[]}";
    auto document = parseSettingsDocument(withMark);
    ASSERT_TRUE(document);
    EXPECT_TRUE(document->byteOrderMark);
    EXPECT_EQ(serialiseSettingsDocument(*document), "\xEF\xBB\xBF{\n  \"rows\": []\n}\n");

    document = parseSettingsDocument("{\"rows\":[]}");
    ASSERT_TRUE(document);
    EXPECT_FALSE(document->byteOrderMark);
    // A mark in the middle is not a mark.
    EXPECT_FALSE(parseSettingsDocument("{\"rows\":[]}\xEF\xBB\xBF"));
}

TEST(SettingsFileTest, NumbersKeepTheirValue) {
    // Integers keep their spelling; other numbers are written in their shortest
    // exact form, so their value survives but 1.50 comes back as 1.5.
    const auto document = parseSettingsDocument(
        R"({"rows":[],"n":[18446744073709551615,-9223372036854775808,1.50,1e3]})");
    ASSERT_TRUE(document);
    EXPECT_EQ(serialiseSettingsDocument(*document),
              "{\n  \"rows\": [],\n  \"n\": [\n    18446744073709551615,\n    "
              "-9223372036854775808,\n    1.5,\n    1000.0\n  ]\n}\n");
}

TEST(SettingsFileTest, ControlCharactersAreEscapedAndOtherTextIsNot) {
    const auto document = parseSettingsDocument("{\"rows\":[],\"t\":\"\\u001f\\\"\\\\/\\u00e9\"}");
    ASSERT_TRUE(document);
    EXPECT_EQ(serialiseSettingsDocument(*document),
              std::string("{\n  \"rows\": [],\n  \"t\": \"\\u001f\\\"\\\\/\xC3\xA9\"\n}\n"));
}

} // namespace
} // namespace qlx

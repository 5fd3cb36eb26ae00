// The platform's text encodings: UTF-16 as the ODBC layer and the Windows W
// functions take it, and the 8-bit encoding on this system.

#include "platform/text_encoding.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

namespace qlx {
namespace {

TEST(Utf16, EveryPlaneGoesThereAndBack) {
    const std::string utf8 = "a\xC3\xA9\xED\x95\x9C\xF0\x9F\x98\x80"; // aé한😀
    const std::u16string utf16 = u"a\u00E9\uD55C\U0001F600";
    EXPECT_EQ(utf8ToUtf16(utf8), utf16);
    EXPECT_EQ(utf16ToUtf8(utf16), utf8);
}

// Each malformed sequence becomes one U+FFFD, and the text goes on at the next
// byte that can start a character.
TEST(Utf16, MalformedUtf8BecomesOneReplacementEach) {
    const struct {
        const char* what;
        std::string utf8;
        std::u16string utf16;
    } cases[] = {
        {"no lead byte", "a\xFFz", u"a\uFFFDz"},
        {"a lone continuation byte", "\x80z", u"\uFFFDz"},
        {"cut short", "\xE2\x82z", u"\uFFFDz"},
        {"cut short at the end", "a\xF0\x9F\x98", u"a\uFFFD"},
        {"overlong", "\xC0\xAFz", u"\uFFFDz"},
        {"a surrogate", "\xED\xA0\x80z", u"\uFFFDz"},
        {"past the last plane", "\xF4\x90\x80\x80", u"\uFFFD"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf8ToUtf16(c.utf8), c.utf16) << c.what;
        std::size_t pos = c.utf8.find_first_not_of('a');
        const std::size_t start = pos;
        EXPECT_FALSE(nextCodePoint(c.utf8, pos)) << c.what;
        EXPECT_EQ(pos, start) << c.what << ": a failed read moves nowhere";
    }
}

TEST(Utf16, AnUnpairedSurrogateBecomesAReplacement) {
    EXPECT_EQ(utf16ToUtf8(u"\xD800z"), "\xEF\xBF\xBDz");
    EXPECT_EQ(utf16ToUtf8(u"a\xDC00"), "a\xEF\xBF\xBD");
    EXPECT_EQ(utf16ToUtf8(u"\xDC00\xD800"), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

// The program's locale decides the 8-bit encoding. A Korean locale with the
// client machines' character set is made for the test in a folder of its own.
class SystemEncoding : public ::testing::Test {
protected:
    void TearDown() override {
        std::setlocale(LC_ALL, "C");
        unsetenv("LOCPATH");
    }
    test::TempDir locales;
};

TEST_F(SystemEncoding, IsTheLocalesCharacterSetAndNothingInUtf8OrC) {
    const std::string korean = "업데이트.zip";
    for (const char* locale : {"C", "C.UTF-8"}) {
        ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr) << locale;
        EXPECT_EQ(toSystemEncoding(korean), korean) << locale;
        EXPECT_EQ(fromSystemEncoding(korean), korean) << locale;
    }

    const std::string command =
        "localedef -i ko_KR -f EUC-KR '" + locales.filePath("ko_KR.EUC-KR") + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        GTEST_SKIP() << "localedef cannot make ko_KR.EUC-KR here";
    }
    setenv("LOCPATH", locales.path().c_str(), 1);
    ASSERT_NE(std::setlocale(LC_ALL, "ko_KR.EUC-KR"), nullptr);
    const std::string euckr = "\xbe\xf7\xb5\xa5\xc0\xcc\xc6\xae.zip";
    EXPECT_EQ(toSystemEncoding(korean), euckr);
    EXPECT_EQ(fromSystemEncoding(euckr), korean);
    // What the set lacks, and what is no UTF-8 at all, become "?" one each.
    EXPECT_EQ(toSystemEncoding("a\xF0\x9F\x98\x80"
                               "b\xFF"
                               "c"),
              "a?b?c");
}

} // namespace
} // namespace qlx

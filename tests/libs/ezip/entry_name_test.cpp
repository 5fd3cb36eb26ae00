#include "libs/ezip/entry_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using ezip::NameVerdict;

struct NameCase {
    std::string name;
    NameVerdict verdict;
};

class EntryNameRules : public ::testing::TestWithParam<NameCase> {};

TEST_P(EntryNameRules, GivesTheVerdict) {
    const auto& [name, verdict] = GetParam();
    EXPECT_EQ(ezip::checkEntryName(name).verdict, verdict) << "name: " << name;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, EntryNameRules, ::testing::Values(
    NameCase{"a.txt", NameVerdict::Ok},
    NameCase{"sub/dir/a.txt", NameVerdict::Ok},
    NameCase{"sub\\a.txt", NameVerdict::Ok},
    NameCase{"folder/", NameVerdict::Ok},
    NameCase{"\xED\x95\x9C\xEA\xB8\x80.txt", NameVerdict::Ok},
    NameCase{".hidden", NameVerdict::Ok},
    NameCase{"console.txt", NameVerdict::Ok},
    NameCase{"COM10", NameVerdict::Ok},
    NameCase{"", NameVerdict::Empty},
    NameCase{"../a", NameVerdict::Traversal},
    NameCase{"a/../../b", NameVerdict::Traversal},
    NameCase{"..\\a", NameVerdict::Traversal},
    NameCase{"a\\..\\..\\b", NameVerdict::Traversal},
    NameCase{"a/..", NameVerdict::Traversal},
    NameCase{"./a", NameVerdict::Ok},
    NameCase{"./", NameVerdict::Ok},
    NameCase{"./../a", NameVerdict::Traversal},
    NameCase{"./.ezip-staging-abc/x", NameVerdict::Reserved},
    NameCase{"/etc/passwd", NameVerdict::Absolute},
    NameCase{"\\windows\\x", NameVerdict::Absolute},
    NameCase{"\\\\server\\share\\x", NameVerdict::Absolute},
    NameCase{"//server/share/x", NameVerdict::Absolute},
    NameCase{"C:/x", NameVerdict::Drive},
    NameCase{"c:\\x", NameVerdict::Drive},
    NameCase{"C:x", NameVerdict::Drive},
    NameCase{"a/b:stream", NameVerdict::ReservedCharacter},
    NameCase{"a*b", NameVerdict::ReservedCharacter},
    NameCase{"a//b", NameVerdict::EmptyComponent},
    NameCase{"a\\/b", NameVerdict::EmptyComponent},
    NameCase{"CON", NameVerdict::DeviceName},
    NameCase{"sub/nul.txt", NameVerdict::DeviceName},
    NameCase{"Com1", NameVerdict::DeviceName},
    NameCase{"lpt9.log", NameVerdict::DeviceName},
    NameCase{"AUX .txt", NameVerdict::DeviceName},
    NameCase{"CONOUT$", NameVerdict::DeviceName},
    NameCase{"COM\xC2\xB9", NameVerdict::DeviceName},
    NameCase{"a/prn", NameVerdict::DeviceName},
    NameCase{"nul.tar.gz", NameVerdict::DeviceName},
    NameCase{"Lpt\xC2\xB3.txt", NameVerdict::DeviceName},
    NameCase{"a<b", NameVerdict::ReservedCharacter},
    NameCase{"a>b", NameVerdict::ReservedCharacter},
    NameCase{"a\"b", NameVerdict::ReservedCharacter},
    NameCase{"a|b", NameVerdict::ReservedCharacter},
    NameCase{"a?b", NameVerdict::ReservedCharacter},
    NameCase{"name.", NameVerdict::TrailingDotOrSpace},
    NameCase{"name ", NameVerdict::TrailingDotOrSpace},
    NameCase{"dir./a", NameVerdict::TrailingDotOrSpace},
    NameCase{"dir /a", NameVerdict::TrailingDotOrSpace},
    NameCase{std::string("a\0b", 3), NameVerdict::ControlCharacter},
    NameCase{"a\nb", NameVerdict::ControlCharacter},
    NameCase{"a\x7F", NameVerdict::ControlCharacter},
    NameCase{"a\xC2\x85", NameVerdict::ControlCharacter},
    NameCase{"\xC7\xD1", NameVerdict::InvalidUtf8},
    NameCase{"\xC0\xAF", NameVerdict::InvalidUtf8},
    NameCase{"\xED\xA0\x80", NameVerdict::InvalidUtf8},
    NameCase{std::string(256, 'x'), NameVerdict::TooLong},
    NameCase{".ezip-staging-abc/x", NameVerdict::Reserved}));
// clang-format on

TEST(EntryName, SplitsOnBothSeparatorsAndMarksFolders) {
    const auto name = ezip::checkEntryName("a\\b/c/");
    ASSERT_EQ(name.verdict, NameVerdict::Ok);
    EXPECT_EQ(name.components, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(name.folder);
    EXPECT_FALSE(ezip::checkEntryName("a/b").folder);
    const auto dotted = ezip::checkEntryName("./a/.\\b/.");
    EXPECT_EQ(dotted.components, (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(dotted.folder);
}

TEST(EntryName, FoldsCaseBeyondAscii) {
    EXPECT_EQ(ezip::foldCase("ReadMe.TXT"), ezip::foldCase("readme.txt"));
    EXPECT_EQ(ezip::foldCase("\xC3\x84pfel"), ezip::foldCase("\xC3\xA4PFEL")); // Äpfel
    EXPECT_NE(ezip::foldCase("a.txt"), ezip::foldCase("b.txt"));
}

struct DecodeCase {
    const char* what;
    std::string raw;
    bool utf8Flag;
    unsigned host;
    bool decodes;
    std::string utf8;
};

class NameDecoding : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(NameDecoding, DecodesByFlagOrGuess) {
    const auto& c = GetParam();
    ezip::NameDecoder decoder;
    std::string out;
    ASSERT_EQ(decoder.decode(c.raw, c.utf8Flag, c.host, {}, out), c.decodes) << c.what;
    if (c.decodes) {
        EXPECT_EQ(out, c.utf8) << c.what;
    }
}

const std::string hangulUtf8 = "\xED\x95\x9C\xEA\xB8\x80"; // 한글
const std::string hangulCp949 = "\xC7\xD1\xB1\xDB";        // 한글 in CP949

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, NameDecoding, ::testing::Values(
    DecodeCase{"ascii", "a/b.txt", false, 0, true, "a/b.txt"},
    DecodeCase{"cp949 without flag", hangulCp949 + ".txt", false, 0, true, hangulUtf8 + ".txt"},
    DecodeCase{"cp949 from Unix, invalid utf-8", hangulCp949, false, 3, true, hangulUtf8},
    DecodeCase{"cp949 that is valid utf-8, from FAT", "\xC2\xA1", false, 0, true, "\xEC\xA7\x95"},
    DecodeCase{"cp949 that is valid utf-8, from NTFS", "\xC2\xA1", false, 10, true, "\xEC\xA7\x95"},
    DecodeCase{"utf-8 with flag", hangulUtf8, true, 0, true, hangulUtf8},
    DecodeCase{"utf-8 from FAT, invalid cp949", hangulUtf8 + ".txt", false, 0, true, hangulUtf8 + ".txt"},
    DecodeCase{"utf-8 that is valid cp949, from Unix", "caf\xC3\xA9", false, 3, true, "caf\xC3\xA9"},
    DecodeCase{"cp949 bytes wrongly flagged utf-8", hangulCp949, true, 0, false, ""},
    DecodeCase{"neither encoding", "\xFF\xFF", false, 3, false, ""}));
// clang-format on

TEST(NameDecoding, PrefersAMatchingUnicodePathField) {
    const std::string raw = "\xC7\xD1.txt";
    const std::string unicode = "\xEC\x9C\xA0.txt"; // 유.txt
    const auto field = [&](std::uint32_t crc) {
        std::string f = "up"; // the field's id 0x7075
        f.push_back(static_cast<char>(5 + unicode.size()));
        f.push_back('\0');
        f.push_back('\1');
        for (int i = 0; i < 4; ++i) {
            f.push_back(static_cast<char>((crc >> (8 * i)) & 0xFFU));
        }
        return f + unicode;
    };
    ezip::NameDecoder decoder;
    std::string out;
    ASSERT_TRUE(decoder.decode(raw, false, 0, field(ezip::crc32(raw)), out));
    EXPECT_EQ(out, unicode);
    // A field written for another name is stale and ignored.
    ASSERT_TRUE(decoder.decode(raw, false, 0, field(ezip::crc32(raw) + 1), out));
    EXPECT_NE(out, unicode);
}

} // namespace

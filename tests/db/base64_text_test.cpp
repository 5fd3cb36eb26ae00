#include "db/base64_text.h"

#include <gtest/gtest.h>

#include <string>

namespace qlx {
namespace {

std::optional<std::string> decode(const std::string& text, std::size_t capacity = 64) {
    std::string out(capacity, '\0');
    const std::optional<std::size_t> size =
        decodeBase64(text.data(), text.size(), out.data(), capacity);
    if (!size) {
        return std::nullopt;
    }
    out.resize(*size);
    return out;
}

// The server breaks its base64 into lines and pads the last group; a slice that
// decodes to anything but its own bytes must be refused, never half-used.
TEST(Base64Text, DecodesTheServersLinesAndPaddingAndRefusesAnythingElse) {
    EXPECT_EQ(decode("aGVs\nbG8gd29y\nbGQ="), "hello world");
    EXPECT_EQ(decode("YQ==\n"), "a");
    EXPECT_EQ(decode(""), "");
    EXPECT_EQ(decode("aGVsbG8=", 4), std::nullopt);  // more than the room it was given
    EXPECT_EQ(decode("aGVsbG8"), std::nullopt);      // a cut group
    EXPECT_EQ(decode("YQ==YQ=="), std::nullopt);     // text after the padding
    EXPECT_EQ(decode("aGV\x01sbG8="), std::nullopt); // not base64
    EXPECT_EQ(decode("Y==="), std::nullopt);

    // Long text, as the server breaks it every 76 characters: whole groups
    // are taken four at a time, and a fault inside one is still refused.
    std::string lines;
    std::string abc;
    for (int group = 1; group <= 50; ++group) {
        lines += group % 19 == 0 ? "QUJD\n" : "QUJD";
        abc += "ABC";
    }
    EXPECT_EQ(decode(lines, 150), abc);
    EXPECT_EQ(decode(lines, 149), std::nullopt);
    for (const char fault : {'*', '='}) {
        EXPECT_EQ(decode(lines.substr(0, 9) + fault + lines.substr(10), 256), std::nullopt);
    }
}

} // namespace
} // namespace qlx

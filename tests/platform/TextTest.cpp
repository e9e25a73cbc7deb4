// Reading names and texts as code points: UTF-8 where it is valid, each
// other byte as Windows-1252 (names from disks written by older programs).
#include <gtest/gtest.h>

#include <string>

#include "platform/Text.h"

using kuv::platform::CodepointsToUtf8;
using kuv::platform::IsAscii;
using kuv::platform::Utf8ToCodepoints;

namespace {

struct Case {
    const char* what;
    std::string bytes;
    std::u32string codepoints;
};

class Utf8ToCodepointsTest : public ::testing::TestWithParam<Case> {};

TEST_P(Utf8ToCodepointsTest, ValidUtf8AsItIsOtherBytesAsWindows1252) {
    const Case& c = GetParam();
    EXPECT_EQ(Utf8ToCodepoints(c.bytes), c.codepoints) << c.what;
    // Written back, the text is valid UTF-8 that reads the same.
    EXPECT_EQ(Utf8ToCodepoints(CodepointsToUtf8(c.codepoints)), c.codepoints) << c.what;
    // ASCII exactly when no byte reads as a code point of 0x80 or above.
    bool below = true;
    for (char32_t cp : c.codepoints) below = below && cp < 0x80;
    EXPECT_EQ(IsAscii(c.bytes), below) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Utf8ToCodepointsTest,
    ::testing::Values(
        Case{"empty", "", U""},
        Case{"ASCII with controls", std::string("dossier\\a\x01\x7F.txt", 15), U"dossier\\a\x01\x7F.txt"},
        Case{"NUL inside", std::string("a\0b", 3), std::u32string(U"a\0b", 3)},
        Case{"two, three and four bytes", "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", U"\u00E9t\u00E9 \u20AC \U0001F600"},
        Case{"Windows-1252 after ASCII", "r\xE9sum\xE9.txt", U"r\u00E9sum\u00E9.txt"},
        Case{"Windows-1252 high range", "\x80\x85\x9F", U"\u20AC\u2026\u0178"},
        Case{"sequence cut by the end", "ab\xC3", U"ab\u00C3"},
        Case{"sequence cut by ASCII", "\xE2\x82x", U"\u00E2\u201Ax"},
        Case{"overlong slash", "\xC0\xAF", U"\u00C0\u00AF"},
        Case{"surrogate half", "\xED\xA0\x80", U"\u00ED\u00A0\u20AC"}));

}  // namespace

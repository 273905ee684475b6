#include <gtest/gtest.h>

#include "support/text_helpers.h"

TEST(TextHelpersTest, TrimAndRemove) {
    std::string text = " \t\r\n value x \n";
    TrimString(text);
    EXPECT_EQ(text, "value x");
    EXPECT_EQ(TrimmedCopy("   "), "");
    EXPECT_EQ(RemoveChar("a-b-c", '-'), "abc");
    EXPECT_EQ(RemoveWhitespace(" a\tb\nc\r d"), "abcd");
    std::string path = "a/b/c";
    ReplaceChar(path, '/', '\\');
    EXPECT_EQ(path, "a\\b\\c");
    EXPECT_STREQ(kYesText, "YES");
    EXPECT_STREQ(kNoText, "NO");
}

TEST(TextHelpersTest, ReplaceDoesNotRescanInsertedText) {
    struct Case {
        const char* text;
        const char* find;
        const char* replace;
        const char* expected;
        int count;
    } cases[] = {
        {"aaa", "a", "aa", "aaaaaa", 3}, {"abcabc", "abc", "", "", 2}, {"x<P>y<P>", "<P>", " ", "x y ", 2},
        {"Abc", "abc", "X", "Abc", 0},   {"abc", "", "X", "abc", 0},   {"aaaa", "aa", "b", "bb", 2},
    };
    for (const Case& c : cases) {
        std::string text = c.text;
        EXPECT_EQ(ReplaceString(text, c.find, c.replace), c.count) << c.text;
        EXPECT_EQ(text, c.expected) << c.text;
    }
}

TEST(TextHelpersTest, ReplaceNoCaseKeepsTheUnmatchedText) {
    std::string text = "Select * FROM t where X=1 and x=2";
    EXPECT_EQ(ReplaceStringNoCase(text, "x=", "Y="), 2);
    EXPECT_EQ(text, "Select * FROM t where Y=1 and Y=2");
    std::string html = "<br>one<BR>two<Br>";
    ReplaceStringNoCase(html, "<BR>", "\n");
    EXPECT_EQ(html, "\none\ntwo\n");
    EXPECT_EQ(UpperCopy("aBc1"), "ABC1");
    EXPECT_EQ(LowerCopy("aBc1"), "abc1");
}

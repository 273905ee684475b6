#include "foundation/simpleregex.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Found {
    std::size_t at;
    std::size_t len;
};

Found find(const char* pattern, const RWCString& text, std::size_t start = 0) {
    RWCSimpleRegex re(pattern);
    Found f{RW_NPOS, 99};
    f.at = re.search(text, &f.len, start);
    return f;
}

constexpr std::size_t NONE = RW_NPOS;

TEST(SimpleRegex, Matches) {
    struct Case {
        const char* pattern;
        const char* text;
        std::size_t start, at, len;
    } cases[] = {
        {"ab*c", "ac", 0, 0, 2},     {"ab*c", "xabbbc", 0, 1, 5},  {"ab+c", "ac", 0, NONE, 0},
        {"ab+c", "abbc", 0, 0, 4},   {"a?a", "a", 0, 0, 1},        {"a*a", "aaa", 0, 0, 3},
        {"a?[ab]", "a", 0, 0, 1},    {"a.c", "a\nc", 0, NONE, 0},  {"a.c", "abc", 0, 0, 3},
        {"[c-a]", "b", 0, 0, 1},     {"[c-a]+", "xabcd", 0, 1, 3}, {"[a-]", "-", 0, 0, 1},
        {"[^a-z]", "abc1", 0, 3, 1}, {"x*", "abc", 0, 0, 0},       {"b", "abcb", 2, 3, 1},
        {"abc", "ab", 3, NONE, 0},   {"c", "abc", 4, NONE, 0},     {"^ab", "abab", 0, 0, 2},
        {"^ab", "xab", 0, NONE, 0},  {"^ab", "xab", 1, 1, 2},      {"ab$", "abab", 0, 2, 2},
        {"a$b", "a$b", 0, 0, 3},     {"x^", "x^", 0, 0, 2},        {"\\t\\x41\\101\\^A\\s", "\tAA\x01 ", 0, 0, 5},
        {"[\\n]", "a\nb", 0, 1, 1},  {".*x", "abcx", 0, 0, 4},     {"a.*b", "a1b2b3", 0, 0, 5},
        {"\\", "a\\", 0, 1, 1},      {"ab\\^", "ab^", 0, 0, 3},
    };
    for (const auto& c : cases) {
        Found f = find(c.pattern, c.text, c.start);
        EXPECT_EQ(f.at, c.at) << c.pattern << " in " << c.text;
        EXPECT_EQ(f.len, c.len) << c.pattern << " in " << c.text;
    }
}

TEST(SimpleRegex, CompileStatus) {
    struct Case {
        std::string pattern;
        int status;
    } cases[] = {
        {std::string(300, 'a'), 3},
        {std::string(254, 'a'), 0},
        {"", 1},
        {"*a", 1},
        {"a**", 3},
        {"[]", 1},
        {"[abc", 1},
        {"^*", 3},
        {"a$", 0},
        {"[a-z]", 0},
        {"[[]", 0},
        {"a$*", 0},
    };
    for (const auto& c : cases) {
        RWCSimpleRegex re(c.pattern.c_str());
        EXPECT_EQ(re.status(), c.status) << c.pattern;
        EXPECT_EQ(re.status(), 0) << "reading the status clears it";
    }
    std::string classes;
    for (int i = 0; i < 20; ++i) classes += "[ab]";
    EXPECT_EQ(RWCSimpleRegex(classes.c_str()).status(), 3);
}

// A closure gives characters back whenever the rest of the pattern needs them, '?'
// included: the results are the ones users of regular expressions expect. The compiled
// tokens keep each closure in front of the element it was written after.
TEST(SimpleRegex, OptionalGivesBackItsCharacterWhenTheRestNeedsIt) {
    struct Case {
        const char* pattern;
        const char* text;
        std::size_t at, len;
    } cases[] = {
        {"a?[ab]", "a", 0, 1},  {"a?[ab]", "ab", 0, 2}, {"a?a", "a", 0, 1},   {"xa?ab", "xab", 0, 3},
        {"a?b", "b", 0, 1},     {"[ab]?b", "b", 0, 1},  {"a*a", "a", 0, 1},   {"a?c", "ab", NONE, 0},
    };
    for (const auto& c : cases) {
        RWCSimpleRegex re(c.pattern);
        std::size_t len = 99;
        EXPECT_EQ(re.search(RWCString(c.text), &len, 0), c.at) << c.pattern << " in " << c.text;
        EXPECT_EQ(len, c.len) << c.pattern << " in " << c.text;
    }
    RWCSimpleRegex repeated("a?a");
    EXPECT_EQ(repeated.tokens()[0], RWCSimpleRegex::kOptional);
    EXPECT_EQ(repeated.tokens()[1], 'a');
    EXPECT_EQ(repeated.tokens()[2], 'a');
}

TEST(SimpleRegex, TokenLayout) {
    RWCSimpleRegex re("ab*[x]$");
    const std::uint16_t* t = re.tokens();
    EXPECT_EQ(t[0], 'a');
    EXPECT_EQ(t[1], RWCSimpleRegex::kStar);
    EXPECT_EQ(t[2], 'b');
    EXPECT_EQ(t[3], RWCSimpleRegex::kClass);
    EXPECT_EQ(t[4 + ('x' >> 4)], 1u << ('x' & 15));
    EXPECT_EQ(t[20], RWCSimpleRegex::kEndOfText);
    EXPECT_EQ(t[21], RWCSimpleRegex::kEnd);
}

TEST(SimpleRegex, InvalidPatternRaisesOnSearch) {
    RWCSimpleRegex re("");
    try {
        re.search(RWCString("abc"), nullptr, 0);
        FAIL();
    } catch (const RWInternalErr& e) {
        EXPECT_STREQ(e.why(), "[BADRE] Attempt to use invalid regular expression");
    }
}

TEST(SimpleRegex, CopyAndAssign) {
    RWCSimpleRegex a("b+");
    RWCSimpleRegex b(a);
    std::size_t len = 0;
    EXPECT_EQ(b.search(RWCString("abbc"), &len, 0), 1u);
    EXPECT_EQ(len, 2u);
    b = "c";
    EXPECT_EQ(b.search(RWCString("abbc"), &len, 0), 3u);
    b = a;
    EXPECT_EQ(b.search(RWCString("abbc"), &len, 0), 1u);
}

TEST(SimpleRegex, StringMembers) {
    RWCString s("key=value");
    RWCSimpleRegex re("=[a-z]+");
    EXPECT_EQ(s.index(re), 3u);
    std::size_t len = 0;
    EXPECT_EQ(s.index(re, &len, 0), 3u);
    EXPECT_EQ(len, 6u);
    s(re) = ":";
    EXPECT_TRUE(s == "key:");
}

TEST(SimpleRegex, BacktrackingHasAStepBound) {
    RWCString text(std::string(3000, 'a').c_str());
    RWCSimpleRegex re(".*.*.*.*.*x");
    EXPECT_THROW(re.search(text, nullptr, 0), RWRELimitErr);
    std::size_t old = RWCSimpleRegex::stepLimit(1000);
    EXPECT_THROW(RWCSimpleRegex("a*b").search(RWCString(std::string(100, 'a').c_str()), nullptr, 0), RWRELimitErr);
    // A search that does not backtrack is never cut short, however long the text.
    EXPECT_EQ(RWCSimpleRegex("abc").search(RWCString((std::string(5000, 'x') + "abc").c_str()), nullptr, 0), 5000u);
    EXPECT_EQ(RWCSimpleRegex("[0-9]+z").search(RWCString((std::string(5000, '5') + "z").c_str()), nullptr, 0), 0u);
    RWCSimpleRegex::stepLimit(old);
}

}  // namespace

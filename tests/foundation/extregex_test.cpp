#include "foundation/extregex.h"
#include "foundation/simpleregex.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

constexpr std::size_t NONE = RW_NPOS;

std::string str(const RWCString& s) {
    return std::string(s.data(), s.length());
}

std::string compileMessage(const char* pattern) {
    try {
        regexFind(pattern, "text", 0);
    } catch (const CRWInterfaceException& e) {
        EXPECT_EQ(e.code(), 16384);
        return str(e.message());
    }
    return "(compiled)";
}

TEST(ExtRegex, Find) {
    struct Case {
        const char* pattern;
        const char* text;
        std::size_t start, expected;
    } cases[] = {
        {"b", "abcb", 2, 3},         {"x", "abc", 0, NONE},
        {"x|b*", "abc", 0, 0},       {"^a", "ba", 0, NONE},
        {"^a", "ba", 1, 1},          {"a$", "aba", 0, 2},
        {"(a.b)", "a\nb", 0, 0},     {"a.b", "a\nb", 0, NONE},
        {"([a-])", "-", 0, 0},       {"([a-])", "xa", 0, 1},
        {"(c|d)+e", "abcdce", 0, 2}, {"colou?r", "my color", 0, 3},
        {"(ab)*c", "ababc", 0, 0},   {"\\(x\\)", "f(x)", 0, 1},
        {"a\\|b", "a|b", 0, 0},      {"x", "abc", 4, NONE},
        {"$", "abc", 0, 3},          {"(^b)", "ab", 1, 1},
        {"[^a]", "aab", 0, 2},       {"(a|b)(c|d)", "xxbd", 0, 2},
        {"b", "abc", 3, NONE},       {"\xE9+", "caf\xE9\xE9", 0, 3},
        {"(a)}", "a}", 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(regexFind(c.pattern, c.text, c.start), c.expected) << c.pattern << " in " << c.text;
}

TEST(ExtRegex, LeftmostLongestExtent) {
    struct Case {
        const char* pattern;
        const char* text;
        std::size_t at, len;
    } cases[] = {
        {"a|ab", "abc", 0, 2},       {"(a|ab)(c|bcd)", "abcd", 0, 4}, {"(x|b*)", "abc", 0, 0},
        {"(b*)c", "abbc", 1, 3},     {"(a*)*b", "aaab", 0, 4},        {"(.)*", "\n\n", 0, 2},
        {"([0-9]+)x", "a12x", 1, 3}, {"(z)|bc", "abcz", 1, 2},
    };
    for (const auto& c : cases) {
        RWCExtRegex re(c.pattern);
        ASSERT_EQ(re.status(), 0) << c.pattern;
        std::size_t len = 99;
        EXPECT_EQ(re.search(RWCString(c.text), &len, 0), c.at) << c.pattern;
        EXPECT_EQ(len, c.len) << c.pattern;
    }
}

TEST(ExtRegex, EngineChoice) {
    struct Case {
        const char* pattern;
        bool simple;
    } cases[] = {
        {"abc", true},   {"a.b", true},   {"[a-z]*x", true}, {"", true},      {"(a)", false}, {"a|b", false},
        {"^a", false},   {"a$", false},   {"a\\.", false},   {"a{2}", false}, {"*a", false},  {"a**", false},
        {"a--b", false}, {"[:a]", false}, {"a\nb", false},   {"\xE9", false}, {"a b", true},  {"a\tb", true},
    };
    for (const auto& c : cases) EXPECT_EQ(RWCExtRegex(c.pattern).usesSimpleEngine(), c.simple) << c.pattern;
}

TEST(ExtRegex, CompileErrors) {
    struct Case {
        const char* pattern;
        const char* message;
    } cases[] = {
        {"(ab", "The regular expression (ab contains an unmatched parenthesis: '(' or ')'"},
        {"ab)", "The regular expression ab) contains an unmatched parenthesis: '(' or ')'"},
        {"a{2}", "The regular expression a{2} contains unsupported syntax"},
        {"a{2", "In the regular expression a{2 some of the content inside braces {} is invalid"},
        {"([z-a])", "In the regular expression ([z-a]) some of the content inside brackets [] is invalid"},
        {"([ab)", "The regular expression ([ab) contains an unmatched square bracket: '[' or ']'"},
        {"([a^])", "The regular expression ([a^]) contains an unmatched square bracket: '[' or ']'"},
        {"*a", "In the regular expression *a one of ?, *, or + is not preceded by a valid regular expression"},
        {"a**", "In the regular expression a** one of ?, *, or + is not preceded by a valid regular expression"},
        {"(*a)", "In the regular expression (*a) one of ?, *, or + is not preceded by a valid regular expression"},
        {"^*", "In the regular expression ^* one of ?, *, or + is not preceded by a valid regular expression"},
        {"(a|+b)", "In the regular expression (a|+b) one of ?, *, or + is not preceded by a valid regular expression"},
        {"(a*})", "In the regular expression (a*}) one of ?, *, or + is not preceded by a valid regular expression"},
        {"(a)\\", "The regular expression (a)\\ contains a trailing backslash"},
        {"", "The regular expression  contains an illegal pattern"},
        {"([])", "The regular expression ([]) contains an illegal pattern"},
        {"()", "The regular expression () contains an illegal pattern"},
        {"|a", "The regular expression |a contains an illegal pattern"},
        {"a|", "The regular expression a| contains an illegal pattern"},
        {"a||b", "The regular expression a||b contains an illegal pattern"},
        {"(\\d)", "The regular expression (\\d) contains an illegal pattern"},
        {"(\\])", "The regular expression (\\]) contains an illegal pattern"},
        {"[abc", "The regular expression [abc contains an illegal pattern"},
    };
    for (const auto& c : cases) EXPECT_EQ(compileMessage(c.pattern), c.message) << c.pattern;
}

TEST(ExtRegex, StatusWords) {
    EXPECT_EQ(RWCExtRegex("(ab").status(), RWCExtRegex::PAREN);
    EXPECT_EQ(RWCExtRegex("a{1}").status(), RWCExtRegex::UNSUPPORTED);
    RWCExtRegex re("(a)");
    EXPECT_EQ(re.status(), 0);
    EXPECT_EQ(re.search(RWCString("bbb"), nullptr, 0), NONE);
    EXPECT_EQ(re.status(), RWCExtRegex::NOMATCH);
    EXPECT_NO_THROW(re.checkCompile());
    EXPECT_EQ(re.groupCount(), 2u);
    RWCExtRegex copy(re);
    EXPECT_EQ(copy.status(), 0);
    EXPECT_TRUE(copy.pattern() == "(a)");
}

TEST(ExtRegex, Replace) {
    struct Case {
        const char* text;
        const char* pattern;
        const char* repl;
        int scope;
        const char* expected;
    } cases[] = {
        {"abc", "a|ab", "X", 0, "Xc"},
        {"xaab", "a", "-", 0, "x-ab"},
        {"abc", "z", "-", 0, "abc"},
        {"baaac", "a*", "", 0, "baaac"},
        {"a\n\n\n\nb", "\n(\n)+", "\n\n", 1, "a\n\nb"},
        {"a\n\nb", "\n(\n)+", "\n\n", 1, "a\n\nb"},
        {"\n\n\n\n", "\n(\n)+", "\n\n", 1, "\n\n"},
        {"x\n\n\ny\n\n\n\n\nz\nw", "\n(\n)+", "\n\n", 1, "x\n\ny\n\nz\nw"},
        // Each search resumes one character before the end of the replacement.
        {"aaaaaaaa", "aa", "a", 1, "aaaa"},
        {"a  b   c", "(  )", " ", 1, "a b  c"},
        {"aaa", "a", "a", 1, "aaa"},
        {"abc", "b*", "X", 1, "Xabc"},
        {"baaac", "a*", "", 1, "baaac"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(str(regexReplace(c.text, c.pattern, c.repl, c.scope)), c.expected)
            << c.pattern << " in " << c.text << " scope " << c.scope;
}

TEST(ExtRegex, ReplaceAll) {
    struct Case {
        const char* text;
        const char* pattern;
        const char* repl;
        const char* expected;
    } cases[] = {
        {"aaa", "a", "aa", "aaaaaa"},
        {"baaac", "a*", "", "bc"},
        {"abc", "x*", "-", "-a-b-c-"},
        {"a,b;c", "[,;]", " ", "a b c"},
        {"The cat sat", "(c|s)at", "dog", "The dog dog"},
        {"", "x*", "E", "E"},
        // The anchor is relative to where each search starts.
        {"abab", "^ab", "X", "XX"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(str(regexReplaceAll(c.text, c.pattern, c.repl)), c.expected) << c.pattern << " in " << c.text;
}

TEST(ExtRegex, RecursiveReplaceThatKeepsMatchingIsStopped) {
    for (const char* pattern : {"a", "(a)", "a+"}) {
        try {
            regexReplace("a", pattern, "aa", 1);
            FAIL() << pattern;
        } catch (const CRWInterfaceException& e) {
            EXPECT_EQ(e.code(), 16384);
            EXPECT_EQ(str(e.message()),
                      std::string("The regular expression ") + pattern + " keeps matching the text that replaces it");
        }
    }
    EXPECT_THROW(regexReplace("bbb", "b", "ab", 1), CRWInterfaceException);
}

TEST(ExtRegex, PathologicalPatternsStayBounded) {
    const RWCString thirty(std::string(30, 'a').c_str());
    EXPECT_EQ(regexFind("(a*)*b", thirty, 0), NONE);
    EXPECT_EQ(regexFind("(a|aa)*(a|aa)*c", thirty, 0), NONE);
    const RWCString longText(std::string(20000, 'a').c_str());
    EXPECT_EQ(regexFind("(a*)*b", longText, 0), NONE);
    EXPECT_EQ(regexFind("(a|b)*c", longText, 0), NONE);
    // A simple pattern that would backtrack for ever is abandoned with a clear error.
    try {
        regexFind(".*.*.*.*.*x", RWCString(std::string(3000, 'a').c_str()), 0);
        FAIL();
    } catch (const CRWInterfaceException& e) {
        EXPECT_EQ(str(e.message()), "The regular expression .*.*.*.*.*x needs too many steps to search this text");
    }
}

// Each search of "(x.*y|x)" reads to the end of the text before settling on a one-letter
// match, so replacing every match would take time quadratic in the text.
TEST(ExtRegex, ReplacementLoopsHaveOneBudget) {
    // A small floor, so that the budget follows the text's length.
    struct LimitGuard {
        std::size_t old = RWCSimpleRegex::stepLimit(100000);
        ~LimitGuard() { RWCSimpleRegex::stepLimit(old); }
    } guard;
    const RWCString xs(std::string(20000, 'x').c_str());
    for (int scope : {-1, 1}) {
        try {
            if (scope < 0)
                regexReplaceAll(xs, "(x.*y|x)", "z");
            else
                regexReplace(xs, "(x.*y|x)", "", scope);
            FAIL() << scope;
        } catch (const CRWInterfaceException& e) {
            EXPECT_EQ(str(e.message()), "The regular expression (x.*y|x) needs too many steps to search this text");
        }
    }
    // Matches found one after the other stay within the budget on a long text, with
    // either engine.
    std::string pairs;
    for (int i = 0; i < 20000; ++i) pairs += "ab";
    const RWCString abs(pairs.c_str());
    EXPECT_EQ(regexReplaceAll(abs, "(a|c)b", "-").length(), 20000u);
    EXPECT_EQ(regexReplaceAll(abs, "ab", "").length(), 0u);
    EXPECT_EQ(regexReplace(abs, "(ab)+", "-", 1).length(), 1u);
    // A single search has no budget of its own to run out of.
    EXPECT_EQ(regexFind("(x.*y|x)", xs, 0), 0u);
}

// The repeated replacement edited in place, match by match, as the plain reading of the
// rule has it; the engine must give the same text without moving the rest at each match.
std::string replaceRepeatedlyInPlace(const std::string& text, const char* pattern, const std::string& repl) {
    RWCExtRegex re(pattern);
    RWCString work(text.data(), text.size());
    std::size_t from = 0;
    for (int guard = 0; guard < 10000; ++guard) {
        std::size_t m = 0;
        const std::size_t p = re.search(work, &m, from);
        if (p == RW_NPOS) break;
        if (str(work(p, m)) == repl) {
            if (m == 0) break;
            from = p + (m > 1 ? m - 1 : 1);
        } else {
            work.replace(p, m, repl.data(), repl.size());
            if (m == 0) break;
            from = p + m - 1;
        }
        if (from >= work.length()) break;
    }
    return str(work);
}

TEST(ExtRegex, RepeatedReplacementMatchesInPlaceEditing) {
    const char* patterns[] = {"a",       "ab",    "aa",      "a+", "(a|b)", "(ab|b)+", "\n(\n)+",
                              "(a|x)b*", "b(a)*", "(aaa|a)", "^a", "a$",    "(ba|c)"};
    const char* replacements[] = {"", "a", "b", "x", "ab", "ba", "\n\n", "abc", "xyzw"};
    std::mt19937 rng(7);
    for (int round = 0; round < 400; ++round) {
        std::string text;
        for (int i = rng() % 24; i > 0; --i) text.push_back("aabbcx\n"[rng() % 7]);
        for (const char* pattern : patterns) {
            for (const char* repl : replacements) {
                const RWCString t(text.data(), text.size());
                std::string got;
                bool stopped = false;
                try {
                    got = str(regexReplace(t, pattern, repl, 1));
                } catch (const CRWInterfaceException&) {
                    stopped = true;  // kept matching what replaces it
                }
                if (!stopped) {
                    EXPECT_EQ(got, replaceRepeatedlyInPlace(text, pattern, repl))
                        << pattern << " / " << repl << " in " << text;
                }
            }
        }
    }
    // Long texts, shrinking and growing, in one pass.
    const std::string some(2000, 'a');
    EXPECT_EQ(str(regexReplace(RWCString(some.c_str()), "aa", "a", 1)), replaceRepeatedlyInPlace(some, "aa", "a"));
    EXPECT_EQ(str(regexReplace(RWCString(some.c_str()), "a", "bcd", 1)), replaceRepeatedlyInPlace(some, "a", "bcd"));
    const RWCString many(std::string(200000, 'a').c_str());
    EXPECT_EQ(regexReplace(many, "aa", "a", 1).length(), 100000u);
    EXPECT_EQ(regexReplace(many, "a", "", 1).length(), 0u);
    EXPECT_EQ(regexReplace(many, "(a)", "bcd", 1).length(), 600000u);
}

// The caller's bound on the result: exactly reachable, one byte past it raises, for each
// scope, before the text grows further.
TEST(ExtRegex, ReplacementResultBound) {
    EXPECT_EQ(str(regexReplaceAll("aaa", "a", "bb", 6)), "bbbbbb");
    EXPECT_THROW(regexReplaceAll("aaa", "a", "bb", 5), RWRegexResultTooLong);
    EXPECT_EQ(str(regexReplace("ab", "b", "ccc", 0, 4)), "accc");
    EXPECT_THROW(regexReplace("ab", "b", "ccc", 0, 3), RWRegexResultTooLong);
    EXPECT_EQ(str(regexReplace("abab", "(ab)", "xyz", 1, 6)), "xyzxyz");
    EXPECT_THROW(regexReplace("abab", "(ab)", "xyz", 1, 5), RWRegexResultTooLong);
    // Shrinking replacements never meet the bound of their input's length.
    EXPECT_EQ(str(regexReplace("aaaa", "aa", "a", 1, 4)), "aa");
}

TEST(ExtRegex, StringMembers) {
    RWCString s("price: 42 EUR");
    RWCExtRegex digits("([0-9]+)");
    std::size_t len = 0;
    EXPECT_EQ(s.index(digits), 7u);
    EXPECT_EQ(s.index(digits, &len, 0), 7u);
    EXPECT_EQ(len, 2u);
    EXPECT_EQ(s.indexRE("(EUR|USD)", &len, 0), 10u);
    EXPECT_EQ(len, 3u);
    EXPECT_TRUE(s(digits) == "42");
    s(digits) = "43";
    EXPECT_TRUE(s == "price: 43 EUR");
    s.replace(RWCExtRegex("( EUR)$"), "\xE2\x82\xAC", 0);
    EXPECT_TRUE(s == "price: 43\xE2\x82\xAC");
    EXPECT_TRUE(s(RWCExtRegex("(z)")).isNull());
}

TEST(ExtRegex, ReplacementKeepsEmbeddedNul) {
    RWCString repl("x\0y", 3);
    EXPECT_EQ(str(regexReplaceAll("a-b", "-", repl)), std::string("ax\0yb", 5));
}

}  // namespace

namespace {

TEST(ExtRegex, DeepNestingIsRefusedNotOverflowed) {
    std::string deep(100000, '(');
    deep += "a";
    deep += std::string(100000, ')');
    EXPECT_THROW(regexFind(deep.c_str(), "a", 0), CRWInterfaceException);
    std::string fine(50, '(');
    fine += "a";
    fine += std::string(50, ')');
    EXPECT_EQ(regexFind(fine.c_str(), "xa", 0), 1u);
}

}  // namespace

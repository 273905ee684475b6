#include <gtest/gtest.h>

#include <random>
#include <string>

#include "foundation/extregex.h"
#include "foundation/simpleregex.h"

namespace {

// Random patterns and texts from a fixed seed, a bounded number of rounds: every
// pattern must either compile or be refused with the interface exception, and every
// search and replacement must finish with a result inside the text.
TEST(ExtRegexFuzz, CompilerAndMatcherNeverMisbehave) {
    static const char kAlphabet[] = "ab.*+?|()[]^$-\\{}x\n\xE9";
    std::mt19937 rng(20261209);
    std::uniform_int_distribution<int> pick(0, sizeof kAlphabet - 2);
    std::uniform_int_distribution<int> patLen(0, 12);
    std::uniform_int_distribution<int> textLen(0, 40);
    std::size_t compiled = 0;
    for (int round = 0; round < 4000; ++round) {
        std::string pattern;
        for (int i = patLen(rng); i > 0; --i) pattern.push_back(kAlphabet[pick(rng)]);
        std::string text;
        for (int i = textLen(rng); i > 0; --i) text.push_back("abx\n-"[rng() % 5]);
        const RWCString t(text.c_str());
        const std::size_t start = rng() % (text.size() + 2);
        try {
            std::size_t at = regexFind(pattern.c_str(), t, start);
            ++compiled;
            if (at != RW_NPOS) {
                ASSERT_GE(at, start) << pattern;
                ASSERT_LE(at, text.size()) << pattern;
                RWCExtRegex re(pattern.c_str());
                std::size_t len = 0;
                ASSERT_EQ(re.search(t, &len, start), at) << pattern;
                ASSERT_LE(at + len, text.size()) << pattern;
            }
            RWCString all = regexReplaceAll(t, pattern.c_str(), "<>");
            ASSERT_LE(all.length(), 3 * text.size() + 2) << pattern;
            RWCString one = regexReplace(t, pattern.c_str(), "", 1);
            ASSERT_LE(one.length(), text.size()) << pattern;
        } catch (const CRWInterfaceException& e) {
            ASSERT_GT(e.message().length(), 0u) << pattern;
        }
    }
    EXPECT_GT(compiled, 100u);
}

TEST(ExtRegexFuzz, SimpleCompilerHandlesArbitraryBytes) {
    std::mt19937 rng(7);
    for (int round = 0; round < 3000; ++round) {
        std::string pattern;
        for (int i = rng() % 20; i > 0; --i) pattern.push_back(static_cast<char>(1 + rng() % 255));
        RWCSimpleRegex re(pattern.c_str());
        if (re.status() != 0) continue;
        const RWCString text("abc\\^[]-xyz\n\x01\xFF");
        std::size_t len = 0;
        std::size_t at = re.search(text, &len, 0);
        if (at != RW_NPOS) {
            ASSERT_LE(at + len, text.length());
        }
    }
}

}  // namespace

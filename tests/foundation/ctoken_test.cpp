#include "foundation/ctoken.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> tokens(const RWCString& text, const char* ws) {
    RWCStringTokenizer next(text);
    std::vector<std::string> out;
    for (int guard = 0; guard < 100; ++guard) {
        RWCSubString t = ws ? next(ws) : next();
        if (t.isNull()) break;
        out.emplace_back(t.startData(), t.length());
    }
    return out;
}

using Tokens = std::vector<std::string>;

TEST(Tokenizer, DelimiterSets) {
    struct Case {
        RWCString text;
        const char* ws;
        Tokens expected;
    } cases[] = {
        {"  a b\t\tc\n", nullptr, {"a", "b", "c"}},
        {"", nullptr, {}},
        {" \t\n \n", nullptr, {}},
        {"one,two,,three,", ",", {"one", "two", "three"}},
        {",,lead", ",", {"lead"}},
        {"a;b c;d", "; ", {"a", "b", "c", "d"}},
        {"word", "", {"word"}},
        {RWCString("a\0b", 3), " ", {"a", "b"}},
        {"x=1&y=2", "&=", {"x", "1", "y", "2"}},
    };
    for (const auto& c : cases) EXPECT_EQ(tokens(c.text, c.ws), c.expected) << c.text.data();
}

TEST(Tokenizer, NullForEverAfterTheEnd) {
    RWCStringTokenizer next(RWCString("a b"));
    EXPECT_TRUE(next() == "a");
    EXPECT_TRUE(next() == "b");
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(next().isNull());
}

TEST(Tokenizer, LengthLimitedSetMayHoldNul) {
    RWCString text("a\0b\0\0cc", 7);
    RWCStringTokenizer next(text);
    const char set[] = {'\0'};
    Tokens got;
    for (int guard = 0; guard < 10; ++guard) {
        RWCSubString t = next(set, 1);
        if (t.isNull()) break;
        got.emplace_back(t.startData(), t.length());
    }
    EXPECT_EQ(got, (Tokens{"a", "b", "cc"}));
}

TEST(Tokenizer, OwnCopyIsUnaffectedByTheCaller) {
    RWCString text("alpha beta");
    RWCStringTokenizer next(text);
    text = "changed";
    EXPECT_TRUE(next() == "alpha");
    EXPECT_TRUE(next() == "beta");
}

TEST(Tokenizer, EditingATokenKeepsThePlace) {
    RWCStringTokenizer next(RWCString("aa bb cc"));
    RWCSubString first = next();
    first = "a much longer token than before";  // reallocates the tokenizer's copy
    EXPECT_TRUE(next() == "much");
}

TEST(TokenizerDeath, NullDelimiterSet) {
    RWCStringTokenizer next(RWCString("a"));
    EXPECT_DEATH(next(static_cast<const char*>(nullptr)), "\\(ws!=0\\) != 0");
}

}  // namespace

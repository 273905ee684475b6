// Template text cut into literal runs and #...# expressions, and quoted template text
// rewritten as one string expression.
#include <gtest/gtest.h>

#include "engine/expressions/expression_driver.h"
#include "tests/expressions/expression_test_support.h"

namespace {

using exprtest::Catch;

struct SplitCase {
    const char* input;
    std::vector<std::pair<unsigned, std::string>> segments;
};

TEST(SplitPoundExpressions, Segments) {
    const SplitCase cases[] = {
        {"abc", {{0, "abc"}}},
        {"", {}},
        {"#x#", {{0, ""}, {2, "x"}}},
        {"a##b", {{0, "a#b"}}},
        {"#a##b#", {{0, ""}, {2, "a"}, {0, ""}, {2, "b"}}},
        {"It's #Now()#", {{0, "It's "}, {2, "Now()"}}},
        {"x #F('#y#')# z", {{0, "x "}, {2, "F('#y#')"}, {0, " z"}}},
        {"#F('a''b')#", {{0, ""}, {2, "F('a''b')"}}},
        {"a ## b #c# d ## e", {{0, "a # b "}, {2, "c"}, {0, " d # e"}}},
        {"#\"x\"\"y\"#", {{0, ""}, {2, "\"x\"\"y\""}}},
    };
    for (const SplitCase& c : cases) {
        ExpressionSegmentList* list = SplitPoundExpressions(c.input);
        ASSERT_NE(list, nullptr);
        std::vector<std::pair<unsigned, std::string>> got;
        for (const ExpressionSegment& s : *list) got.emplace_back(s.kind, s.text);
        EXPECT_EQ(got, c.segments) << c.input;
        FreeExpressionSegments(list);
    }
    FreeExpressionSegments(nullptr);
}

TEST(SplitPoundExpressions, UnmatchedDelimiters) {
    for (const char* text : {"#a", "#F('x)#", "a #b", "#\"#"}) {
        const auto f = Catch([&] { SplitPoundExpressions(text); });
        EXPECT_EQ(f.code, 0x4007u) << text;
        EXPECT_EQ(f.text, "The expression contains unmatched single quotes, double quotes, or pound signs.") << text;
    }
}

struct ConvertCase {
    const char* input;
    const char* output;
};

TEST(ConvertToStringExpression, InnerQuotesAreDoubledExactlyOnce) {
    const ConvertCase cases[] = {
        {"\"a\"b\"", "\"a\"\"b\""},   {"\"plain\"", "\"plain\""},
        {"\"it's\"", "\"it's\""},     {"\"x #f(\"a\")# y\"", "\"x #f(\"a\")# y\""},
        {"\"a ## b\"", "\"a ## b\""}, {"\"say \"\"hi\"\"\"", "\"say \"\"\"\"hi\"\"\"\"\""},
    };
    for (const ConvertCase& c : cases) {
        std::string out;
        CExpressionEvaluationDriver::ConvertToStringExpression(c.input, out);
        EXPECT_EQ(out, c.output) << c.input;
    }
}

TEST(ConvertToStringExpression, RewrittenTextEvaluatesToTheOriginal) {
    exprtest::FakeRuntime runtime;
    runtime.variables = {{"name", "Bob"}};
    std::string expression, value;
    CExpressionEvaluationDriver::ConvertToStringExpression("\"He said \"hi\" to #name#, it's ## 1\"", expression);
    exprtest::Driver().EvaluateToString(&runtime, expression.c_str(), value, -1);
    EXPECT_EQ(value, "He said \"hi\" to Bob, it's # 1");
}

TEST(ConvertToStringExpression, UnmatchedDelimiters) {
    for (const char* text : {"\"#a\"", "\"a\"b", "\"#f('x)#\""}) {
        std::string out = "keep";
        const auto f = Catch([&] { CExpressionEvaluationDriver::ConvertToStringExpression(text, out); });
        EXPECT_EQ(f.code, 0x4007u) << text;
        EXPECT_EQ(f.text, "The expression contains unmatched single quotes, double quotes, or pound signs.");
    }
}

}  // namespace

// An expression nested past the parser's bound is refused at once with the author's message;
// one within it evaluates. Every parse answers to the thread's parse check.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "engine/parser/ss_exception.h"
#include "engine/parser/ss_parse_check.h"
#include "expression_test_support.h"

namespace {

using exprtest::Eval;
using exprtest::EvalFailure;

std::string Nested(std::size_t depth) {
    return std::string(depth, '(') + "1" + std::string(depth, ')');
}

TEST(ExpressionNestingBound, DeepNestingIsRefusedWithTheAuthorsMessage) {
    EXPECT_EQ(Eval(Nested(5000)), "1");
    for (std::size_t depth : {20000u, 2000000u}) {
        const auto f = EvalFailure(Nested(depth));
        ASSERT_TRUE(f.thrown) << depth;
        EXPECT_EQ(f.text, "The expression is nested too deeply (parentheses and operators more than 10000 levels deep)")
            << depth;
    }
    const auto mapped = exprtest::Catch([] { ThrowParserError(SSException(SSErrorNestedTooDeeply, "x")); });
    EXPECT_EQ(mapped.code, 0x4015u);
}

TEST(ExpressionNestingBound, AParseCheckThatThrowsEndsTheEvaluation) {
    std::string sum = "0";
    for (int i = 0; i < 20000; ++i) sum += " + 1";
    int checks = 0;
    {
        SSParseCheckScope counting([&checks] { ++checks; });
        EXPECT_EQ(Eval(sum), "20000");
    }
    EXPECT_GT(checks, 10);
    SSParseCheckScope spent([] { throw std::runtime_error("the request's time is spent"); });
    EXPECT_THROW(Eval(sum), std::runtime_error);
}

}  // namespace

// The steps of a text the template wrote are kept by its parser and run again: every
// later evaluation must give what a parser that never saw the text gives, whatever the
// variables hold then, and nothing but a whole accepted parse of a literal text is kept.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/expressions/expression_parser.h"
#include "tests/expressions/expression_test_support.h"

namespace {

using exprtest::Driver;
using exprtest::FakeRuntime;

// The value as text, or the evaluator's message of its failure.
std::string Value(ExprYaccClass& parser, const CTracedView& text, int row = 0) {
    std::string value;
    exprtest::Failure failure = exprtest::Catch([&] {
        Driver().Evaluate(parser, text, row);
        value = parser.result().TakeString();
    });
    return failure.thrown ? "<error " + std::to_string(failure.code) + ": " + failure.text + ">" : value;
}

std::string Fresh(FakeRuntime& runtime, const std::string& text) {
    ExprYaccClass parser(&Driver().Operators(), &runtime, &Driver().Functions());
    return Value(parser, CTracedView::Literal(text));
}

TEST(KeptSteps, EveryLaterEvaluationGivesWhatAFreshParserGives) {
    const char* texts[] = {
        "price * 2",
        "id + price",
        "-(price + 1) * 3 ^ 2 MOD 7",
        "NOT (price GT 50) AND id LTE 3 OR name CONTAINS 'm1'",
        "\"<#name#> is #price * 2#, ##1 \"\"q\"\"\"",
        "'it''s #name#' & \"#Len(name)#\"",
        "IIf(price GT 50, DE('high'), 'name & \"-\" & id')",
        "Left(name, 3) & Right(\"abc\", id MOD 3 + 1) & Mid(name, 2, 2)",
        "#name# & #Len(name)#",
        "ParameterExists(price) & ValueList(id)",
        "YES & NO & TRUE & FALSE",
        "Evaluate('price + id') * 10",
        "1.5E2 + 3 / 2 - 7 \\ 2",
    };
    FakeRuntime runtime;
    ExprYaccClass kept(&Driver().Operators(), &runtime, &Driver().Functions());
    const std::vector<std::vector<std::pair<std::string, std::string>>> rows = {
        {{"id", "1"}, {"name", "item1"}, {"price", "7"}},
        {{"id", "2"}, {"name", "it'em #2"}, {"price", "70"}},
        {{"id", "3"}, {"name", ""}, {"price", "not a number"}},
        {{"id", "14"}, {"name", "\"q\""}, {"price", "98"}},
    };
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto& row : rows) {
            for (const auto& [name, value] : row) runtime.variables[name] = value;
            for (const char* text : texts) {
                for (int escape : {0, 1}) {
                    runtime.escape = escape;
                    EXPECT_EQ(Value(kept, CTracedView::Literal(text)), Fresh(runtime, text))
                        << text << " with price " << runtime.variables["price"] << " escape " << escape;
                }
            }
        }
    }
    EXPECT_GT(kept.KeptTexts(), 0u);
}

TEST(KeptSteps, OnlyAWholeParseOfATextTheTemplateWroteIsKept) {
    FakeRuntime runtime;
    runtime.variables = {{"x", "5"}};
    ExprYaccClass parser(&Driver().Operators(), &runtime, &Driver().Functions());
    // Failures, in the lexer, the parser or an action, keep nothing.
    for (const char* text : {"1 / / 2", "1 +", "\"abc", "1 ? 2", "nothing * 2", "Len(1, 2, 3)"}) {
        const std::string first = Value(parser, CTracedView::Literal(text));
        EXPECT_EQ(first.rfind("<error", 0), 0u) << text;
        EXPECT_EQ(parser.KeptTexts(), 0u) << text;
        EXPECT_EQ(Value(parser, CTracedView::Literal(text)), first) << text;
    }
    // A lookup that failed is kept once it succeeds, and the kept steps still look it up.
    runtime.variables["nothing"] = "4";
    EXPECT_EQ(Value(parser, CTracedView::Literal("nothing * 2")), "8");
    EXPECT_EQ(parser.KeptTexts(), 1u);
    runtime.variables.erase("nothing");
    EXPECT_EQ(Value(parser, CTracedView::Literal("nothing * 2")), Fresh(runtime, "nothing * 2"));
    // A text a value wrote is lexed each time: its lexemes carry their origin.
    EXPECT_EQ(Value(parser, CTracedView::Value("x + 1")), "6");
    CTracedText mixed = CTracedText::Literal("x + ");
    mixed.Append(CTracedText::Value("1"));
    EXPECT_EQ(Value(parser, mixed), "6");
    EXPECT_EQ(parser.KeptTexts(), 1u);
    // Only the text up to its first NUL is the expression.
    const std::string withNul("x * 3\0garbage", 13);
    EXPECT_EQ(Value(parser, CTracedView::Literal(withNul)), "15");
    EXPECT_EQ(Value(parser, CTracedView::Literal("x * 3")), "15");
    EXPECT_EQ(parser.KeptTexts(), 2u);
}

TEST(KeptSteps, TheKeptTextsAreBounded) {
    FakeRuntime runtime;
    ExprYaccClass parser(&Driver().Operators(), &runtime, &Driver().Functions());
    for (std::size_t i = 0; i < ExprYaccClass::kKeptTexts * 2 + 3; ++i) {
        const std::string text = std::to_string(i) + " + 1";
        ASSERT_EQ(Value(parser, CTracedView::Literal(text)), std::to_string(i + 1));
        ASSERT_LE(parser.KeptTexts(), ExprYaccClass::kKeptTexts);
    }
    const std::string longText = "1" + std::string(ExprYaccClass::kKeptTextBytes, ' ') + "+ 1";
    const std::size_t before = parser.KeptTexts();
    EXPECT_EQ(Value(parser, CTracedView::Literal(longText)), "2");
    EXPECT_EQ(parser.KeptTexts(), before);
}

}  // namespace

// One thread evaluates expression after expression with the same parsers: whatever an
// evaluation leaves behind (a failure anywhere in the parse, a nested evaluation still
// running below it) must not reach the next one.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/expressions/expression_test_support.h"

namespace {

using exprtest::Eval;
using exprtest::EvalBool;
using exprtest::EvalFailure;
using exprtest::FakeRuntime;

// Variables whose names start with "expr_" hold expressions, evaluated (nested) on lookup.
class NestingRuntime : public FakeRuntime {
public:
    void LookupVariable(const std::string& name, int row, std::string& value, int mustExist) override {
        if (name.rfind("expr_", 0) == 0) {
            std::string text;
            FakeRuntime::LookupVariable(name, row, text, mustExist);
            Evaluate(value, text, row);
            return;
        }
        FakeRuntime::LookupVariable(name, row, value, mustExist);
    }
};

// Checks that a thread's parsers give right answers after whatever ran before.
void ExpectCleanEvaluations(FakeRuntime& runtime) {
    EXPECT_EQ(Eval("1 + 2 * 3"), "7");
    EXPECT_EQ(Eval("\"a\" & \"b#Len('xy')#\""), "ab2");
    EXPECT_EQ(Eval("x & '-' & x", &runtime), "5-5");
    EXPECT_TRUE(EvalBool("x GT 4", &runtime));
    EXPECT_EQ(Eval("IIf(x GT 1, DE('big'), DE('small'))", &runtime), "big");
}

TEST(ParserReuse, AFailureAnywhereInTheParseLeavesNothingBehind) {
    const char* failures[] = {
        "1 / / 2",                            // syntax error after a reduction
        "1 +",                                // end of input in the middle
        "(((1 + 2)",                          // open parentheses on the stack
        "1 ? 2",                              // no such token
        "\"abc",                              // string not closed: the lexer in its string state
        "'abc #x",                            // expression not closed inside a string
        "nothing * 2",                        // lookup that fails during a reduction
        "Len(1, 2, 3)",                       // function with the wrong argument count
        "Left(\"abc\", x, ",                  // argument list left open
        "IIf(x GT 1, '1 / / 2', DE('n'))",    // the nested evaluation fails
        "IIf(x GT 1, 'nothing + 1', DE('n'))",
    };
    FakeRuntime runtime;
    runtime.variables = {{"x", "5"}};
    for (const char* text : failures) {
        EXPECT_TRUE(EvalFailure(text, &runtime).thrown) << text;
        ExpectCleanEvaluations(runtime);
    }
}

TEST(ParserReuse, NestedEvaluationsRunWhileTheOuterParseIsInTheMiddle) {
    NestingRuntime runtime;
    runtime.variables = {{"x", "5"},
                         {"expr_one", "x - 4"},
                         {"expr_two", "expr_one + expr_one"},
                         {"expr_deep", "IIf(expr_two GT 1, 'expr_two * 10', DE('no'))"},
                         {"expr_text", "\"[#expr_one#|#Evaluate('expr_two & x')#]\""},
                         {"expr_bad", "x / / 1"}};
    const std::pair<const char*, const char*> cases[] = {
        {"expr_one * 100 + expr_two", "102"},
        {"(expr_two + (expr_one * (expr_two + x)))", "9"},
        {"expr_deep & ':' & expr_deep", "20:20"},
        {"\"<#expr_text#>\" & expr_one", "<[1|25]>1"},
        {"IIf(expr_one IS 1, 'IIf(expr_two IS 2, DE(expr_text), 0)', 0)", "[1|25]"},
        {"Evaluate('Evaluate(''expr_two'') + 1') & x", "35"},
    };
    for (int round = 0; round < 2; ++round) {
        for (const auto& [text, expected] : cases) EXPECT_EQ(Eval(text, &runtime), expected) << text;
        // A failure three levels down, with both outer levels in the middle of their parse.
        EXPECT_TRUE(EvalFailure("1 + IIf(TRUE, 'expr_one + expr_bad', 0)", &runtime).thrown);
    }
}

TEST(ParserReuse, TheDepthBoundLeavesEveryLevelUsable) {
    NestingRuntime runtime;
    runtime.variables = {{"expr_self", "expr_self + 1"}, {"x", "5"}};
    // Level 0 ... level 31 each count on their own parser; then the bound is hit.
    for (int i = 0; i < 34; ++i) runtime.variables["expr_" + std::to_string(i)] = "expr_" + std::to_string(i + 1);
    runtime.variables["expr_30"] = "x";
    EXPECT_NE(EvalFailure("expr_self", &runtime).text.find("more than 32 levels deep"), std::string::npos);
    EXPECT_EQ(Eval("expr_0 & expr_20", &runtime), "55");
    runtime.variables["expr_30"] = "expr_31";
    runtime.variables["expr_34"] = "x";
    EXPECT_TRUE(EvalFailure("expr_0", &runtime).thrown);
    ExpectCleanEvaluations(runtime);
}

TEST(ParserReuse, EachThreadKeepsItsOwnParsers) {
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([t, &wrong] {
            NestingRuntime runtime;
            runtime.variables = {{"n", std::to_string(t)}, {"expr_twice", "n * 2"}, {"expr_bad", "n +"}};
            for (int i = 0; i < 150; ++i) {
                if (Eval("expr_twice + IIf(n GT 2, 'expr_twice', DE('0'))", &runtime) !=
                    std::to_string(t > 2 ? 4 * t : 2 * t))
                    ++wrong;
                if (i % 7 == 0 && !EvalFailure("expr_twice + expr_bad", &runtime).thrown) ++wrong;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace

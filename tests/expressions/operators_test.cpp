// Operators at their own level: dispatch checks, the root forms, conversion order and
// the forms that the grammar cannot write.
#include <gtest/gtest.h>

#include "engine/expressions/operators.h"
#include "tests/expressions/expression_test_support.h"

namespace {

using exprtest::Catch;
using exprtest::LogCapture;
using namespace expr_type;

struct Operands {
    ExprYaccStackElement left, right, result;
};

TEST(Operators, CheckOpRefusesBadNumbersAndEmptySlots) {
    LogCapture log;
    COperatorManager manager;
    auto f = Catch([&] { manager.CheckOp(24); });
    EXPECT_EQ(f.code, 0x8005u);
    EXPECT_EQ(f.text, "Invalid operator number 24");
    ASSERT_EQ(LogCapture::Lines().size(), 1u);
    EXPECT_EQ(LogCapture::Lines()[0],
              std::make_pair(std::string("COperatorManager::CheckOp"), std::string("Invalid operator number 24")));
    manager.ResetSlotForTest(3);
    f = Catch([&] { manager.CheckOp(3); });
    EXPECT_EQ(f.code, 0x8006u);
    EXPECT_EQ(f.text, "Operator object pointer is NULL");
    EXPECT_EQ(LogCapture::Lines().back().second, "NULL operator object 3");
    EXPECT_FALSE(Catch([&] { manager.CheckOp(23); }).thrown);
}

TEST(Operators, NamesInNumberOrder) {
    COperatorManager manager;
    const char* names[] = {"PLUS",
                           "MINUS",
                           "MULTIPLY",
                           "DIVIDE",
                           "INTEGER DIVIDE",
                           "MOD",
                           "POWER",
                           "AND",
                           "OR",
                           "XOR",
                           "EQV",
                           "IMP",
                           "NOT",
                           "UNARY PLUS",
                           "UNARY MINUS",
                           "CONCATENATION",
                           "IS",
                           "IS NOT",
                           "CONTAINS",
                           "DOES NOT CONTAIN",
                           "GREATER THAN",
                           "GREATER THAN OR EQUAL",
                           "LESS THAN",
                           "LESS THAN OR EQUAL"};
    for (unsigned i = 0; i < 24; ++i) EXPECT_EQ(manager.GetOperator(i)->GetName(), names[i]);
    EXPECT_EQ(COperator().GetName(), "Unknown operator");
}

TEST(Operators, RootFormsAreInternalErrors) {
    LogCapture log;
    COperatorManager manager;
    Operands o;
    o.left.SetInteger(1);
    o.right.SetInteger(2);
    auto f = Catch([&] { manager.GetOperator(expr_op::kPlus)->DoIt(nullptr, &o.left, &o.result); });
    EXPECT_EQ(f.code, 0x8003u);
    EXPECT_EQ(f.text, "No unary DoIt() function defined for operator");
    EXPECT_EQ(LogCapture::Lines().back(),
              std::make_pair(std::string("COperator::DoIt(unary)"),
                             std::string("Derived class function not implemented for Op PLUS")));
    f = Catch([&] { manager.EvaluateBinary(nullptr, expr_op::kNot, &o.left, &o.right, &o.result); });
    EXPECT_EQ(f.code, 0x8004u);
    EXPECT_EQ(f.text, "No binary DoIt() function defined for operator");
    EXPECT_EQ(LogCapture::Lines().back().first, "COperator::DoIt(binary)");
    EXPECT_EQ(o.result.inType, 0u) << "the result stays unwritten";
}

TEST(Operators, UnaryFormsTheGrammarCannotWrite) {
    COperatorManager manager;
    Operands o;
    o.left.SetBoolean(true);
    manager.EvaluateUnary(nullptr, expr_op::kUnaryMinus, &o.left, &o.result);
    EXPECT_EQ(o.result.inType, kReal);
    EXPECT_DOUBLE_EQ(o.result.real, -1.0);
    Operands t;
    t.left.SetText("abc");
    manager.EvaluateUnary(nullptr, expr_op::kUnaryPlus, &t.left, &t.result);
    EXPECT_EQ(t.result.inType, kString);
    EXPECT_STREQ(t.result.AsString(), "abc");
    Operands d;
    d.left.SetDate(36525.5);
    manager.EvaluateUnary(nullptr, expr_op::kUnaryPlus, &d.left, &d.result);
    EXPECT_EQ(d.result.inType, kDate);
    EXPECT_STREQ(d.result.AsString(), "{ts '1999-12-31 12:00:00'}");
    Operands bad;
    bad.left.SetText("abc");
    EXPECT_EQ(Catch([&] { manager.EvaluateUnary(nullptr, expr_op::kUnaryMinus, &bad.left, &bad.result); }).code,
              0x4003u);
}

TEST(Operators, DateArithmeticGivesAPlainReal) {
    COperatorManager manager;
    Operands o;
    o.left.SetDate(36525.0);
    o.right.SetInteger(1);
    manager.EvaluateBinary(nullptr, expr_op::kPlus, &o.left, &o.right, &o.result);
    EXPECT_EQ(o.result.inType, kReal);
    EXPECT_STREQ(o.result.AsString(), "36526");
}

TEST(Operators, DivisorIsCheckedBeforeTheDividendIsConverted) {
    COperatorManager manager;
    for (unsigned op : {expr_op::kDivide, expr_op::kIntegerDivide, expr_op::kMod}) {
        Operands o;
        o.left.SetText("abc");
        o.right.SetReal(-0.0);
        const auto f = Catch([&] { manager.EvaluateBinary(nullptr, op, &o.left, &o.right, &o.result); });
        EXPECT_EQ(f.code, 0x4004u) << op;
        EXPECT_EQ(o.left.outType, kString) << "the dividend was not converted";
    }
}

TEST(Operators, ShortCircuitLeavesTheRightOperandUntouched) {
    COperatorManager manager;
    Operands o;
    o.left.SetBoolean(false);
    o.right.SetText("abc");
    manager.EvaluateBinary(nullptr, expr_op::kAnd, &o.left, &o.right, &o.result);
    EXPECT_EQ(o.result.boolean, 0);
    EXPECT_EQ(o.right.outType, kString);
    Operands p;
    p.left.SetBoolean(false);
    p.right.SetText("abc");
    EXPECT_EQ(Catch([&] { manager.EvaluateBinary(nullptr, expr_op::kOr, &p.left, &p.right, &p.result); }).code,
              0x4002u);
}

TEST(Operators, IntegerDivisionOfTheMostNegativeIntegerIsAnError) {
    COperatorManager manager;
    for (unsigned op : {expr_op::kIntegerDivide, expr_op::kMod}) {
        Operands o;
        o.left.SetInteger(-2147483647 - 1);
        o.right.SetInteger(-1);
        const auto f = Catch([&] { manager.EvaluateBinary(nullptr, op, &o.left, &o.right, &o.result); });
        EXPECT_EQ(f.code, 0x4004u);
    }
}

// Every arithmetic result past the range of a real is an error, never INF or NAN in a
// page or an SQL statement; so no later operator or function meets an infinite operand.
TEST(Operators, ResultsPastTheRealRangeAreErrors) {
    exprtest::FakeRuntime runtime;
    runtime.variables = {{"big", "1e308"}};
    const char* const tooLarge = " is too large for a real number";
    struct Case {
        const char* expression;
        std::string text;
    } const cases[] = {
        {"'1e308' * 10", std::string("The result of the multiplication") + tooLarge},
        {"big * 10", std::string("The result of the multiplication") + tooLarge},
        {"big + big", std::string("The result of the addition") + tooLarge},
        {"-big - big", std::string("The result of the subtraction") + tooLarge},
        {"big / 0.1", std::string("The result of the division") + tooLarge},
        {"2 ^ 1024", std::string("The result of the power") + tooLarge},
        {"big * 10 - big * 10", std::string("The result of the multiplication") + tooLarge},
        {"DateCompare(big * 10, 1)", std::string("The result of the multiplication") + tooLarge},
        {"CreateDate(big * 10, 1, 1)", std::string("The result of the multiplication") + tooLarge},
    };
    for (const Case& c : cases) {
        const exprtest::Failure f = exprtest::EvalFailure(c.expression, &runtime);
        EXPECT_TRUE(f.thrown) << c.expression;
        EXPECT_EQ(f.text, c.text) << c.expression;
    }
    EXPECT_EQ(exprtest::Eval("big * 1.5", &runtime), "1.5E+308") << "the largest reals still count";
    EXPECT_EQ(exprtest::Eval("-big * 1.7", &runtime), "-1.7E+308");

    COperatorManager manager;
    for (unsigned op : {expr_op::kPlus, expr_op::kMinus, expr_op::kMultiply, expr_op::kDivide}) {
        Operands o;
        o.left.SetReal(op == expr_op::kMinus ? -1.7e308 : 1.7e308);
        o.right.SetReal(op == expr_op::kDivide ? 0.5 : 1.7e308);
        const auto f = Catch([&] { manager.EvaluateBinary(nullptr, op, &o.left, &o.right, &o.result); });
        EXPECT_EQ(f.code, 0x4005u) << op;
        EXPECT_EQ(o.result.inType, 0u) << "the result stays unwritten";
    }
}

TEST(Comparisons, InvalidCodeAndTypelessOperand) {
    LogCapture log;
    ExprYaccStackElement a, b;
    a.SetInteger(1);
    b.SetInteger(1);
    auto f = Catch([&] { CPrimaryBooleanOpEvaluator::EvaluateConditionalExpression(nullptr, 8, &a, &b); });
    EXPECT_EQ(f.code, 0x8009u);
    EXPECT_EQ(f.text, "Invalid boolean operator");
    EXPECT_EQ(LogCapture::Lines().back(),
              std::make_pair(std::string("CPrimaryBooleanOpEvaluator::EvaluateConditionalExpression"),
                             std::string("bad boolean op number")));
    ExprYaccStackElement empty;
    f = Catch([&] { CPrimaryBooleanOpEvaluator::EvaluateConditionalExpression(nullptr, 2, &empty, &b); });
    EXPECT_EQ(f.code, 0x8001u);
}

TEST(Comparisons, NumbersDatesAndTexts) {
    struct Case {
        const char* left;
        unsigned op;
        const char* right;
        int expected;
    };
    const Case cases[] = {{"10", 4, "9", 1},      {"abc", 6, "ABD", 1}, {"a", 0, "A", 1},
                          {"a", 0, "a ", 0},      {"abc", 4, "5", 1},   {"1.0", 0, "1", 1},
                          {"yes", 0, "1", 1},     {"b", 5, "B", 1},     {"{d '1999-12-31'}", 0, "36525", 1},
                          {"Hello", 2, "ELL", 1}, {"Hello", 3, "x", 1}, {"x", 2, "", 1},
                          {"[", 6, "a", 1}};  // letters fold to lower case
    for (const Case& c : cases) {
        ExprYaccStackElement a, b;
        a.SetText(c.left);
        b.SetText(c.right);
        EXPECT_EQ(CPrimaryBooleanOpEvaluator::EvaluateConditionalExpression(nullptr, c.op, &a, &b), c.expected)
            << c.left << " " << c.op << " " << c.right;
    }
}

}  // namespace

namespace {

TEST(Comparisons, DatesBeforeTheEpochCompareAsInstants) {
    // -1.25 is 29 December 1899 06:00, -1.5 the same day at 12:00.
    ExprYaccStackElement morning, noon;
    morning.SetDate(-1.25);
    noon.SetDate(-1.5);
    EXPECT_EQ(CPrimaryBooleanOpEvaluator::EvaluateConditionalExpression(nullptr, 6, &morning, &noon), 1);
    EXPECT_EQ(CPrimaryBooleanOpEvaluator::EvaluateConditionalExpression(nullptr, 4, &morning, &noon), 0);
}

}  // namespace

TEST(Operators, IntegerDivisionOperandsBeyondThirtyTwoBitsAreAnError) {
    COperatorManager manager;
    struct Case {
        double left, right;
    } const cases[] = {{5e9, 7}, {7, 5e9}, {-3e9, 2}, {4294967296.0, 3}, {2147483648.0, 1}, {3, 4294967296.0}};
    for (unsigned op : {expr_op::kIntegerDivide, expr_op::kMod}) {
        for (const Case& c : cases) {
            Operands o;
            o.left.SetReal(c.left);
            o.right.SetReal(c.right);
            const auto f = Catch([&] { manager.EvaluateBinary(nullptr, op, &o.left, &o.right, &o.result); });
            EXPECT_EQ(f.code, 0x4004u) << op << " " << c.left << " " << c.right;
        }
        Operands text;
        text.left.SetText("6000000000");
        text.right.SetInteger(7);
        EXPECT_EQ(Catch([&] { manager.EvaluateBinary(nullptr, op, &text.left, &text.right, &text.result); }).code,
                  0x4004u);
        Operands edge;  // the extremes that fit still divide
        edge.left.SetReal(2147483647.0);
        edge.right.SetReal(-2147483648.0);
        manager.EvaluateBinary(nullptr, op, &edge.left, &edge.right, &edge.result);
        EXPECT_EQ(edge.result.integer, op == expr_op::kMod ? 2147483647 : 0);
    }
}

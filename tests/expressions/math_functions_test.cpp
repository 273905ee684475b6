// The math family: rounding rules, real functions against reference values, radix
// conversions, and the request's random numbers.
#include <gtest/gtest.h>

#include <limits>

#include <cstdlib>

#include "tests/expressions/function_test_support.h"

namespace {

using exprtest::Eval;
using exprtest::ExpectFunctionError;
using exprtest::ExpectNonFiniteRefused;
using exprtest::FakeRuntime;
using exprtest::FunctionErrorCase;
using exprtest::NonFiniteCase;
using exprtest::ValueRow;

class MathValues : public ::testing::TestWithParam<ValueRow> {};

TEST_P(MathValues, Text) {
    EXPECT_EQ(Eval(GetParam().expression), GetParam().text) << GetParam().expression;
}

// Reference texts printed by Python's math module with "%.12G".
INSTANTIATE_TEST_SUITE_P(
    Table, MathValues,
    ::testing::Values(
        // Round takes floor(x + 0.5): halves go toward positive infinity.
        ValueRow{"Round(2.5)", "3"}, ValueRow{"Round(-2.5)", "-2"}, ValueRow{"Round(-0.5)", "0"},
        ValueRow{"Round(1.4999)", "1"}, ValueRow{"Round(-2.51)", "-3"}, ValueRow{"Round(0.5)", "1"},
        ValueRow{"Int(-2.5)", "-3"}, ValueRow{"Int(2.7)", "2"}, ValueRow{"Fix(-2.5)", "-2"}, ValueRow{"Fix(2.7)", "2"},
        ValueRow{"Fix(-0.5)", "0"}, ValueRow{"Ceiling(-2.5)", "-2"}, ValueRow{"Ceiling(2.0)", "2"},
        ValueRow{"Ceiling(2.1)", "3"}, ValueRow{"Ceiling(-0.5)", "0"}, ValueRow{"Sgn(-7)", "-1"},
        ValueRow{"Sgn(0)", "0"}, ValueRow{"Sgn(0.001)", "1"}, ValueRow{"Abs(-3.25)", "3.25"},
        ValueRow{"Abs('-4')", "4"}, ValueRow{"Max(3,'4')", "4"}, ValueRow{"Min('2',10)", "2"},
        ValueRow{"Max(-1,-1.5)", "-1"}, ValueRow{"Pi()", "3.14159265359"}, ValueRow{"Atn(0.5)", "0.463647609001"},
        ValueRow{"Atn(-1.5)", "-0.982793723247"}, ValueRow{"Cos(2)", "-0.416146836547"},
        ValueRow{"Cos(10)", "-0.839071529076"}, ValueRow{"Exp(1)", "2.71828182846"},
        ValueRow{"Exp(10)", "22026.4657948"}, ValueRow{"Exp(-1.5)", "0.223130160148"},
        ValueRow{"Sin(1)", "0.841470984808"}, ValueRow{"Sin(-1.5)", "-0.997494986604"},
        ValueRow{"Tan(2)", "-2.18503986326"}, ValueRow{"Tan(-1.5)", "-14.1014199472"},
        ValueRow{"Log(0.5)", "-0.69314718056"}, ValueRow{"Log(10)", "2.30258509299"},
        ValueRow{"Log(0.00001)", "-11.512925465"}, ValueRow{"Log10(0.5)", "-0.301029995664"},
        ValueRow{"Log10(10)", "1"}, ValueRow{"Log10(0.00001)", "-5"}, ValueRow{"Sqr(2)", "1.41421356237"},
        ValueRow{"Sqr(10)", "3.16227766017"}, ValueRow{"Sqr(0)", "0"}, ValueRow{"Int(2.7) & 'x'", "2x"},
        // Real texts: twelve significant digits and a two-digit exponent, as Python's "%.12G".
        ValueRow{"1.0E300 * 10", "1E+301"}, ValueRow{"Exp(0) / 100000", "1E-05"},
        ValueRow{"Int(123456789012345.4)", "1.23456789012E+14"}, ValueRow{"2 / 3 / 10000000", "6.66666666667E-08"},
        ValueRow{"InputBaseN('ff',16)", "255"}, ValueRow{"InputBaseN('FF',16)", "255"},
        ValueRow{"InputBaseN('0x1F',16)", "31"}, ValueRow{"InputBaseN('-101',2)", "-5"},
        ValueRow{"InputBaseN(' 12',10)", "12"}, ValueRow{"InputBaseN('zz',36)", "1295"},
        ValueRow{"InputBaseN('-2147483648',10)", "-2147483648"}, ValueRow{"InputBaseN('7fffffff',16)", "2147483647"},
        ValueRow{"FormatBaseN(255,16)", "ff"}, ValueRow{"FormatBaseN(10,2)", "1010"},
        ValueRow{"FormatBaseN(-10,10)", "-10"}, ValueRow{"FormatBaseN(-1,2)", "11111111111111111111111111111111"},
        ValueRow{"FormatBaseN(-1,16)", "ffffffff"}, ValueRow{"FormatBaseN(35,36)", "z"},
        ValueRow{"FormatBaseN(0,7)", "0"}, ValueRow{"FormatBaseN(-2147483648,10)", "-2147483648"},
        ValueRow{"FormatBaseN(10,2) & 'x'", "1010x"},
        // Randomize(7): (7 * 1103515245 + 12345) mod 2^32 mod 32767 = 28175, then 16191.
        ValueRow{"Randomize(7)", "0.859859004486"},
        ValueRow{"Randomize(7) & ' ' & Rand()", "0.859859004486 0.494125186926"}, ValueRow{"RandRange(3,3)", "3"}));

class MathErrors : public ::testing::TestWithParam<FunctionErrorCase> {};

TEST_P(MathErrors, CodeAndText) {
    ExpectFunctionError(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Table, MathErrors,
    ::testing::Values(
        FunctionErrorCase{
            "Log", {"0"}, 0x400A, "Parameter 1 of function Log which is now \"0\" must be a positive real number"},
        FunctionErrorCase{"Log10",
                          {"-1"},
                          0x400A,
                          "Parameter 1 of function Log10 which is now \"-1\" must be a positive real number"},
        FunctionErrorCase{"Sqr",
                          {"-1"},
                          0x400A,
                          "Parameter 1 of function Sqr which is now \"-1\" must be a non-negative real number"},
        FunctionErrorCase{
            "InputBaseN",
            {"'1'", "37"},
            0x400A,
            "Parameter 2 of function InputBaseN which is now \"37\" must be an integer in the range 2 to 36 inclusive"},
        FunctionErrorCase{
            "FormatBaseN",
            {"1", "1"},
            0x400A,
            "Parameter 2 of function FormatBaseN which is now \"1\" must be an integer in the range 2 to 36 inclusive"},
        FunctionErrorCase{"InputBaseN",
                          {"'12 '", "10"},
                          0x400A,
                          "Parameter 1 of function InputBaseN which is now \"12 \" must be a valid number in base 10"},
        FunctionErrorCase{"InputBaseN",
                          {"''", "10"},
                          0x400A,
                          "Parameter 1 of function InputBaseN which is now \"\" must be a valid number in base 10"},
        FunctionErrorCase{"InputBaseN",
                          {"'2'", "2"},
                          0x400A,
                          "Parameter 1 of function InputBaseN which is now \"2\" must be a valid number in base 2"},
        FunctionErrorCase{
            "InputBaseN",
            {"'99999999999'", "10"},
            0x400A,
            "Parameter 1 of function InputBaseN which is now \"99999999999\" must be a valid number in base 10"},
        FunctionErrorCase{
            "InputBaseN",
            {"'2147483648'", "10"},
            0x400A,
            "Parameter 1 of function InputBaseN which is now \"2147483648\" must be a valid number in base 10"},
        FunctionErrorCase{"InputBaseN",
                          {"'0x'", "16"},
                          0x400A,
                          "Parameter 1 of function InputBaseN which is now \"0x\" must be a valid number in base 16"},
        FunctionErrorCase{"InputBaseN",
                          {"'-'", "10"},
                          0x400A,
                          "Parameter 1 of function InputBaseN which is now \"-\" must be a valid number in base 10"},
        FunctionErrorCase{
            "Abs", {"'x'"}, 0x400A, "Parameter 1 of function Abs which is now \"x\" must be a real number"},
        // Results beyond the range of a real are refused instead of printed as "inf".
        FunctionErrorCase{"Exp", {"1000"}, 0x400A, "The function Exp has no finite result for the argument \"1000\""},
        FunctionErrorCase{"RandRange",
                          {"1", "'a'"},
                          0x400A,
                          "Parameter 2 of function RandRange which is now \"a\" must be an integer"}));

// No expression can make a real that is not finite (every operator refuses such a result),
// so the refusal of one as an argument is checked with the value itself.
TEST(MathFunctions, NonFiniteArgumentsAreRefused) {
    const double inf = std::numeric_limits<double>::infinity();
    const NonFiniteCase cases[] = {
        {"RandRange",
         {"1", ""},
         2,
         inf,
         "Parameter 2 of function RandRange which is now \"INF\" must be a finite number"},
        {"Sin", {""}, 1, inf, "Parameter 1 of function Sin which is now \"INF\" must be a finite number"},
        {"Max",
         {"", "1"},
         1,
         std::numeric_limits<double>::quiet_NaN(),
         "Parameter 1 of function Max which is now \"NAN\" must be a finite number"},
    };
    for (const NonFiniteCase& c : cases) ExpectNonFiniteRefused(c);
}

TEST(MathRandom, SameSeedSameSequenceInEveryRequest) {
    FakeRuntime first, second;
    CRandomState a, b;
    first.m_randomState = &a;
    second.m_randomState = &b;
    EXPECT_EQ(Eval("Randomize(7)", &first), "0.859859004486");
    EXPECT_EQ(Eval("Rand()", &first), "0.494125186926");
    EXPECT_EQ(Eval("Randomize(7)", &second), "0.859859004486");
    EXPECT_EQ(Eval("Rand()", &second), "0.494125186926");
    EXPECT_EQ(a.value, 16191u);
    EXPECT_EQ(a.seeded, 1);
}

TEST(MathRandom, RandRangeStaysWithinItsBoundsInEitherOrder) {
    FakeRuntime runtime;
    CRandomState state;
    runtime.m_randomState = &state;
    for (int i = 0; i < 300; ++i) {
        for (const char* call : {"RandRange(1,10)", "RandRange(10,1)"}) {
            const int v = std::atoi(Eval(call, &runtime).c_str());
            EXPECT_GE(v, 1) << call;
            EXPECT_LE(v, 10) << call;
        }
    }
}

TEST(MathRandom, RandRangeStillStepsTheGeneratorOnEqualBounds) {
    FakeRuntime runtime;
    CRandomState state;
    runtime.m_randomState = &state;
    Eval("Randomize(7)", &runtime);
    EXPECT_EQ(Eval("RandRange(3,3)", &runtime), "3");
    EXPECT_EQ(state.value, 16191u);
}

// The whole 32-bit range: the distance is computed in 64 bits, so the value is spread
// over the range instead of sticking to the first bound.
TEST(MathRandom, RandRangeOverTheWholeIntegerRange) {
    FakeRuntime runtime;
    CRandomState state;
    runtime.m_randomState = &state;
    Eval("Randomize(7)", &runtime);  // next r = 16191
    const long long r = 16191;
    const long long expected = -2147483648LL + static_cast<long long>(4294967295.0 * r / 32767.0 + 0.5);
    EXPECT_EQ(Eval("RandRange(-2147483648, 2147483647)", &runtime), std::to_string(expected));
    int low = 0, high = 0;
    for (int i = 0; i < 200; ++i) {
        const long long v = std::atoll(Eval("RandRange(-2147483648, 2147483647)", &runtime).c_str());
        EXPECT_GE(v, -2147483648LL);
        EXPECT_LE(v, 2147483647LL);
        (v < 0 ? low : high)++;
    }
    EXPECT_GT(low, 0);
    EXPECT_GT(high, 0);
}

TEST(MathRandom, RandRangeWithZeroDrawGivesTheFirstBound) {
    FakeRuntime runtime;
    CRandomState state;
    runtime.m_randomState = &state;
    // A seed whose next draw is 0.
    for (std::uint32_t seed = 0;; ++seed) {
        if ((seed * 1103515245u + 12345u) % 32767u == 0) {
            state.value = seed;
            state.seeded = 1;
            break;
        }
    }
    EXPECT_EQ(Eval("RandRange(1,10)", &runtime), "1");
}

}  // namespace

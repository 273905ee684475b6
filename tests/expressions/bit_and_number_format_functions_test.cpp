// Bits, counters and the number formatters: 32-bit patterns, the counters' refusal to
// wrap, the fixed layouts against Python's fixed-point texts, and author masks.
#include <gtest/gtest.h>

#include <limits>

#include "engine/expressions/number_mask_format.h"
#include "engine/expressions/number_patterns.h"
#include "tests/expressions/function_test_support.h"

namespace {

using exprtest::Eval;
using exprtest::ExpectFunctionError;
using exprtest::ExpectNonFiniteRefused;
using exprtest::FunctionErrorCase;
using exprtest::NonFiniteCase;
using exprtest::ValueRow;

class BitAndFormatValues : public ::testing::TestWithParam<ValueRow> {};

TEST_P(BitAndFormatValues, Text) {
    EXPECT_EQ(Eval(GetParam().expression), GetParam().text) << GetParam().expression;
}

INSTANTIATE_TEST_SUITE_P(
    Bits, BitAndFormatValues,
    ::testing::Values(ValueRow{"BitAnd(12, 10)", "8"}, ValueRow{"BitOr(12, 10)", "14"}, ValueRow{"BitXor(12, 10)", "6"},
                      ValueRow{"BitNot(0)", "-1"}, ValueRow{"BitNot(-2147483648)", "2147483647"},
                      ValueRow{"BitSHLN(1, 31)", "-2147483648"}, ValueRow{"BitSHLN(3, 0)", "3"},
                      ValueRow{"BitSHLN(-1, 4)", "-16"}, ValueRow{"BitSHRN(-1, 28)", "15"},
                      ValueRow{"BitSHRN(-8, 1)", "2147483644"}, ValueRow{"BitSHRN(-1, 31)", "1"},
                      ValueRow{"BitMaskRead(255, 4, 4)", "15"}, ValueRow{"BitMaskClear(255, 0, 4)", "240"},
                      ValueRow{"BitMaskSet(0, 5, 4, 3)", "80"}, ValueRow{"BitMaskSet(77, 5, 4, 0)", "77"},
                      ValueRow{"BitMaskRead(77, 3, 0)", "0"}, ValueRow{"BitMaskRead(-1, 31, 31)", "1"},
                      ValueRow{"BitMaskRead(-1, 0, 31)", "2147483647"}, ValueRow{"BitMaskClear(-1, 16, 31)", "65535"},
                      ValueRow{"BitMaskSet(0, -1, 28, 31)", "-268435456"}, ValueRow{"IncrementValue(41)", "42"},
                      ValueRow{"DecrementValue(-2147483647)", "-2147483648"},
                      ValueRow{"IncrementValue(2147483646)", "2147483647"}, ValueRow{"BitAnd('12', 10.9)", "8"}));

// Expected texts are Python's "{:,.0f}" and "{:,.2f}" of the same doubles, laid out as the
// patterns say (sign section, pure fractions without their 0, currency in parentheses).
INSTANTIATE_TEST_SUITE_P(
    Formats, BitAndFormatValues,
    ::testing::Values(ValueRow{"NumberFormat('')", "0"}, ValueRow{"NumberFormat(1234567)", "1,234,567"},
                      ValueRow{"NumberFormat(1234.6)", "1,235"}, ValueRow{"NumberFormat(-0.4)", "-0"},
                      ValueRow{"NumberFormat(-1234)", "-1,234"}, ValueRow{"NumberFormat(0.4)", "0"},
                      ValueRow{"NumberFormat(0)", "0"}, ValueRow{"NumberFormat(-987654321.5)", "-987,654,322"},
                      ValueRow{"NumberFormat(3.5)", "4"}, ValueRow{"NumberFormat(2.5)", "2"},
                      ValueRow{"NumberFormat('1234')", "1,234"},
                      ValueRow{"NumberFormat(1.0E30)", "1,000,000,000,000,000,019,884,624,838,656"},
                      ValueRow{"DecimalFormat(0)", "0.00"}, ValueRow{"DecimalFormat(0.5)", ".50"},
                      ValueRow{"DecimalFormat(0.001)", ".00"}, ValueRow{"DecimalFormat(999.999)", "1,000.00"},
                      ValueRow{"DecimalFormat(0.999)", "1.00"}, ValueRow{"DecimalFormat(-1234.5)", "-1,234.50"},
                      ValueRow{"DecimalFormat(-0.5)", "-.50"}, ValueRow{"DecimalFormat(1234.5)", "1,234.50"},
                      ValueRow{"DecimalFormat(0.125)", ".12"}, ValueRow{"DecimalFormat(0.375)", ".38"},
                      ValueRow{"DecimalFormat(-0.004)", "-.00"},
                      ValueRow{"DecimalFormat(1.0E20)", "100,000,000,000,000,000,000.00"},
                      ValueRow{"DecimalFormat('')", "0.00"}, ValueRow{"DollarFormat(0)", "$0.00"},
                      ValueRow{"DollarFormat(5)", "$5.00"}, ValueRow{"DollarFormat(0.5)", "$0.50"},
                      ValueRow{"DollarFormat(1234567.891)", "$1,234,567.89"},
                      ValueRow{"DollarFormat(-1234.5)", "($1,234.50)"}, ValueRow{"DollarFormat(0.005)", "$0.01"},
                      ValueRow{"DollarFormat(-0.5)", "($0.50)"}, ValueRow{"DecimalFormat(1234.5) & '|'", "1,234.50|"},
                      // A negative zero keeps its sign as in NumberFormat; the currency has no
                      // "$-0.00" (its negatives stand in parentheses).
                      ValueRow{"NumberFormat(-0)", "-0"}, ValueRow{"DecimalFormat(-0)", "-0.00"},
                      ValueRow{"DollarFormat(-0)", "$0.00"}));

// Masks go through the decimal picture format: 9 is a digit place, the text keeps the
// width of the mask (no trimming), a mask without a point prints no decimals.
INSTANTIATE_TEST_SUITE_P(
    Masks, BitAndFormatValues,
    ::testing::Values(
        ValueRow{"NumberFormat(1234.567, '9,999.99')", "1,234.57"},
        ValueRow{"NumberFormat(1234.5, '999,999.99') & '|'", "  1,234.50|"},
        ValueRow{"NumberFormat(-1234.5, '999,999.99')", " -1,234.50"},
        ValueRow{"NumberFormat(5, '$999.99')", "$  5.00"}, ValueRow{"NumberFormat(-5, '(999.99)')", "(  5.00)"},
        ValueRow{"NumberFormat(1234.5, '9999')", "1235"}, ValueRow{"NumberFormat(12.3, '099.99')", "012.30"},
        ValueRow{"NumberFormat(12, '+999')", "+ 12"}, ValueRow{"NumberFormat(-12, '+999')", " -12"},
        ValueRow{"NumberFormat(12, '')", ""}, ValueRow{"NumberFormat(1234567, '9,999')", "*****"},
        ValueRow{"NumberFormat(2.675, '9.99')", "2.68"},
        // Every number below 2^63 in size fits the decimal.
        ValueRow{"NumberFormat(1.0E18, '9999999999999999999')", "1000000000000000000"},
        ValueRow{"NumberFormat(9.2E18, '9,999,999,999,999,999,999')", "9,200,000,000,000,000,000"},
        ValueRow{"NumberFormat(-9223372036854774784.0, '-9999999999999999999')", "-9223372036854774784"}));

TEST(NumberMask, TranslationOfTheAuthorsMask) {
    bool point = false;
    EXPECT_EQ(TranslateNumberMask("999,999.99", point), "___,___.__");
    EXPECT_TRUE(point);
    EXPECT_EQ(TranslateNumberMask("^^^", point), "###");
    EXPECT_TRUE(point);
    EXPECT_EQ(TranslateNumberMask("$(C)L+-0_,", point), "$(C)L+-0_,");
    EXPECT_FALSE(point);
    for (const char* bad : {"9.9a", "9 9", "#", "*", "8", "9/9"})
        EXPECT_THROW(TranslateNumberMask(bad, point), CBadNumberMask) << bad;
}

TEST(NumberPatterns, FixedPointTextOfTheLargestReal) {
    const std::string text = FixedPointText(1.7976931348623157e308, 2);
    EXPECT_EQ(text.size(), 309u + 3u);
    EXPECT_EQ(text.substr(0, 6), "179769");
    EXPECT_EQ(FormatDollarNumberPattern(1.7976931348623157e308).size(), 1u + 309u + 102u + 3u);
}

class BitAndFormatErrors : public ::testing::TestWithParam<FunctionErrorCase> {};

TEST_P(BitAndFormatErrors, CodeAndText) {
    ExpectFunctionError(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Table, BitAndFormatErrors,
    ::testing::Values(
        FunctionErrorCase{"BitMaskRead",
                          {"1", "32", "1"},
                          0x400A,
                          "Parameter 2 of function BitMaskRead which is now \"32\" must be an integer in the range 0 "
                          "to 31 inclusive"},
        // Shift counts outside 0..31 are refused rather than taken modulo 32.
        FunctionErrorCase{
            "BitSHLN",
            {"1", "32"},
            0x400A,
            "Parameter 2 of function BitSHLN which is now \"32\" must be an integer in the range 0 to 31 inclusive"},
        FunctionErrorCase{
            "BitSHRN",
            {"1", "-1"},
            0x400A,
            "Parameter 2 of function BitSHRN which is now \"-1\" must be an integer in the range 0 to 31 inclusive"},
        FunctionErrorCase{
            "BitAnd", {"'x'", "1"}, 0x400A, "Parameter 1 of function BitAnd which is now \"x\" must be an integer"},
        // The counters do not wrap at the ends of the integer range.
        FunctionErrorCase{"IncrementValue",
                          {"2147483647"},
                          0x4004,
                          "The result of the function IncrementValue does not fit in an integer"},
        FunctionErrorCase{"DecrementValue",
                          {"-2147483648"},
                          0x4004,
                          "The result of the function DecrementValue does not fit in an integer"},
        FunctionErrorCase{"NumberFormat",
                          {"1", "'9'", "3"},
                          0x4009,
                          "The function NumberFormat takes at most 2 arguments; You have called it with 3 arguments"},
        FunctionErrorCase{"NumberFormat",
                          {"'abc'"},
                          0x400A,
                          "Parameter 1 of function NumberFormat which is now \"abc\" must be a number"},
        FunctionErrorCase{"DecimalFormat",
                          {"'1,000'"},
                          0x400A,
                          "Parameter 1 of function DecimalFormat which is now \"1,000\" must be a number"},
        FunctionErrorCase{
            "NumberFormat",
            {"5", "'9.9a'"},
            0x400F,
            "In function NumberFormat(Number, FormatMask) the second parameter, which is now 9.9a, is not a "
            "valid formatting mask"},
        FunctionErrorCase{
            "NumberFormat",
            {"5", "'9 9'"},
            0x400F,
            "In function NumberFormat(Number, FormatMask) the second parameter, which is now 9 9, is not a "
            "valid formatting mask"},
        FunctionErrorCase{"NumberFormat",
                          {"5", "'##'"},
                          0x400F,
                          "In function NumberFormat(Number, FormatMask) the second parameter, which is now #, is not a "
                          "valid formatting mask"},
        FunctionErrorCase{"NumberFormat",
                          {"9223372036854775808.0", "'9'"},
                          0x400F,
                          "Parameter 1 of function NumberFormat which is now \"9223372036854775808.0\" must be a "
                          "number smaller than 9223372036854775808 in absolute value"},
        FunctionErrorCase{"NumberFormat",
                          {"'-1E19'", "'(999)'"},
                          0x400F,
                          "Parameter 1 of function NumberFormat which is now \"-1E19\" must be a "
                          "number smaller than 9223372036854775808 in absolute value"}));

// No expression can make a real that is not finite (every operator refuses such a result),
// so the refusal of one as an argument is checked with the value itself.
TEST(BitAndFormatFunctions, NonFiniteArgumentsAreRefused) {
    const double inf = std::numeric_limits<double>::infinity();
    const NonFiniteCase cases[] = {
        // Infinity is not read as the integer 0.
        {"BitAnd", {"1", ""}, 2, inf, "Parameter 2 of function BitAnd which is now \"INF\" must be a finite number"},
        {"IncrementValue",
         {""},
         1,
         -inf,
         "Parameter 1 of function IncrementValue which is now \"-INF\" must be a finite number"},
        {"DollarFormat", {""}, 1, inf, "Parameter 1 of function DollarFormat which is now \"INF\" must be a number"},
        {"NumberFormat", {""}, 1, inf, "Parameter 1 of function NumberFormat which is now \"INF\" must be a number"},
    };
    for (const NonFiniteCase& c : cases) ExpectNonFiniteRefused(c);
}

}  // namespace

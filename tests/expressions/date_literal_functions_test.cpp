// ODBC literals, time spans and the date tests.
#include <gtest/gtest.h>

#include <limits>

#include "tests/expressions/function_test_support.h"

namespace {

using exprtest::Eval;
using exprtest::ExpectFunctionError;
using exprtest::ExpectNonFiniteRefused;
using exprtest::FunctionErrorCase;
using exprtest::NonFiniteCase;
using exprtest::ValueRow;

class DateLiteralValues : public ::testing::TestWithParam<ValueRow> {};

TEST_P(DateLiteralValues, Text) {
    EXPECT_EQ(Eval(GetParam().expression), GetParam().text) << GetParam().expression;
}

INSTANTIATE_TEST_SUITE_P(
    Table, DateLiteralValues,
    ::testing::Values(
        ValueRow{"CreateODBCDate(\"{ts '2000-01-31 10:00:00'}\")", "{d '2000-01-31'}"},
        ValueRow{"CreateODBCTime(\"{ts '2000-01-31 10:00:00'}\")", "{t '10:00:00'}"},
        ValueRow{"CreateODBCTime(CreateDate(2000,1,31))", "{t '00:00:00'}"},
        ValueRow{"CreateODBCDateTime(CreateDate(2000,1,31))", "{ts '2000-01-31 00:00:00'}"},
        ValueRow{"CreateODBCDateTime(36556.5)", "{ts '2000-01-31 12:00:00'}"},
        ValueRow{"CreateODBCDate('2000-01-31 08:15')", "{d '2000-01-31'}"},
        ValueRow{"CreateODBCDate(-1.25)", "{d '1899-12-29'}"}, ValueRow{"CreateTimeSpan(0,0,0,0)", "0"},
        ValueRow{"CreateTimeSpan(1,12,0,0)", "1.5"},
        // Python: ((30 * (1/60) + 0) * (1/60) + 0) * (1/24) + 0
        ValueRow{"CreateTimeSpan(0,0,0,30)", "0.000347222222222"}, ValueRow{"CreateTimeSpan(2,-12,0,0)", "1.5"},
        ValueRow{"CreateODBCDateTime(CreateDate(2000,1,1) + CreateTimeSpan(0,6,30,0))", "{ts '2000-01-01 06:30:00'}"},
        ValueRow{"IsDate('abc')", "NO"}, ValueRow{"IsDate(\"{d '2000-01-31'}\")", "YES"},
        ValueRow{"IsDate(\"{ts '2000-01-31 10:00:00'}\")", "YES"}, ValueRow{"IsDate(\"{d '2000-02-31'}\")", "NO"},
        ValueRow{"IsDate('')", "NO"}, ValueRow{"IsDate(Now())", "YES"}, ValueRow{"IsNumericDate(-5)", "YES"},
        ValueRow{"IsNumericDate(123456789)", "YES"}, ValueRow{"IsNumericDate('12.5')", "YES"}));

class DateLiteralErrors : public ::testing::TestWithParam<FunctionErrorCase> {};

TEST_P(DateLiteralErrors, CodeAndText) {
    ExpectFunctionError(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Table, DateLiteralErrors,
    ::testing::Values(
        FunctionErrorCase{"IsNumericDate",
                          {"'x'"},
                          0x400A,
                          "Parameter 1 of function IsNumericDate which is now \"x\" must be a real number"},
        FunctionErrorCase{"CreateODBCDate",
                          {"'abc'"},
                          0x400A,
                          "Parameter 1 of function CreateODBCDate which is now \"abc\" must be a date/time value"},
        // A serial outside the calendar's years has no literal.
        FunctionErrorCase{"CreateODBCDate",
                          {"1.0E300"},
                          0x4011,
                          "Cannot convert 1E+300 to date.<P>Please, check the Tessaro manual for the allowed "
                          "conversions between data types (see docs/templates.md, section \"Operators\")"},
        FunctionErrorCase{"CreateODBCDateTime",
                          {"-1.0E300"},
                          0x4011,
                          "Cannot convert -1E+300 to date.<P>Please, check the Tessaro manual for the allowed "
                          "conversions between data types (see docs/templates.md, section \"Operators\")"},
        FunctionErrorCase{"CreateODBCTime",
                          {"3000000"},
                          0x4011,
                          "Cannot convert 3000000 to date.<P>Please, check the Tessaro manual for the allowed "
                          "conversions between data types (see docs/templates.md, section \"Operators\")"},
        // A span as large as no real can hold fails with the code and words of an operator's
        // result past that range, from either end.
        FunctionErrorCase{"CreateTimeSpan",
                          {"1.79E308", "1.0E308", "0", "0"},
                          0x4005,
                          "The result of the function CreateTimeSpan(days, hours, minutes, seconds) is too large "
                          "for a real number"},
        FunctionErrorCase{"CreateTimeSpan",
                          {"-1.79E308", "-1.0E308", "0", "0"},
                          0x4005,
                          "The result of the function CreateTimeSpan(days, hours, minutes, seconds) is too large "
                          "for a real number"}));

TEST(DateLiteralFunctions, NonFiniteArgumentsAreRefused) {
    ExpectNonFiniteRefused({"CreateTimeSpan",
                            {"", "0", "0", "0"},
                            1,
                            std::numeric_limits<double>::infinity(),
                            "Parameter 1 of function CreateTimeSpan which is now \"INF\" must be a finite number"});
}

}  // namespace

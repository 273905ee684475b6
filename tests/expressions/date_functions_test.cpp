// The date family: fields, names, calendar facts, arithmetic by part (also before
// 30 December 1899), the constructors and their exact messages. Serial numbers were
// checked with Python's datetime (days since 1899-12-30).
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

class DateValues : public ::testing::TestWithParam<ValueRow> {};

TEST_P(DateValues, Text) {
    EXPECT_EQ(Eval(GetParam().expression), GetParam().text) << GetParam().expression;
}

INSTANTIATE_TEST_SUITE_P(
    Fields, DateValues,
    ::testing::Values(
        ValueRow{"Year(CreateDateTime(2005,7,4,9,3,7))", "2005"},
        ValueRow{"Month(CreateDateTime(2005,7,4,9,3,7))", "7"}, ValueRow{"Day(CreateDateTime(2005,7,4,9,3,7))", "4"},
        ValueRow{"Hour(CreateDateTime(2005,7,4,9,3,7))", "9"}, ValueRow{"Minute(CreateDateTime(2005,7,4,9,3,7))", "3"},
        ValueRow{"Second(CreateDateTime(2005,7,4,9,3,7))", "7"}, ValueRow{"DayOfWeek(CreateDate(2005,7,4))", "2"},
        ValueRow{"DayOfYear(CreateDate(2005,7,4))", "185"}, ValueRow{"Quarter(CreateDate(2005,10,1))", "4"},
        ValueRow{"Quarter(CreateDate(2005,10,31))", "4"}, ValueRow{"Quarter(CreateDate(2005,3,31))", "1"},
        ValueRow{"Week(CreateDate(1996,1,1))", "1"}, ValueRow{"Week(CreateDate(1996,1,8))", "2"},
        ValueRow{"Week(CreateDate(1996,12,31))", "53"}, ValueRow{"Week(CreateDate(1996,3,15))", "11"},
        ValueRow{"DatePart('ww', CreateDate(1996,3,15))", "3"}, ValueRow{"DatePart('w', CreateDate(1996,1,7))", "1"},
        ValueRow{"DatePart('yyyy', CreateDate(1996,3,15))", "1996"},
        ValueRow{"DatePart('q', CreateDate(1996,3,15))", "1"}, ValueRow{"DatePart('y', CreateDate(1996,3,15))", "75"},
        ValueRow{"DatePart('n', CreateDateTime(2005,7,4,9,3,7))", "3"},
        ValueRow{"DatePart('S', CreateDateTime(2005,7,4,9,3,7))", "7"}, ValueRow{"DayOfWeekAsString(1)", "Sunday"},
        ValueRow{"DayOfWeekAsString(7)", "Saturday"}, ValueRow{"MonthAsString(12)", "December"},
        ValueRow{"MonthAsString(1)", "January"}, ValueRow{"DaysInYear(CreateDate(1996,5,1))", "366"},
        ValueRow{"DaysInYear(CreateDate(1900,5,1))", "365"}, ValueRow{"DaysInMonth(CreateDate(1900,2,10))", "28"},
        ValueRow{"DaysInMonth(CreateDate(2000,2,10))", "29"}, ValueRow{"FirstDayOfMonth(CreateDate(1996,3,15))", "61"},
        ValueRow{"FirstDayOfMonth(CreateDate(1997,3,15))", "60"},
        ValueRow{"FirstDayOfMonth(CreateDate(1997,1,15))", "1"}, ValueRow{"IsLeapYear(96)", "YES"},
        ValueRow{"IsLeapYear(1900)", "NO"}, ValueRow{"IsLeapYear(2000)", "YES"},
        // Out of the valid range every field reader answers -1.
        ValueRow{"Year(10000000)", "-1"}, ValueRow{"Month(10000000)", "-1"}, ValueRow{"Quarter(10000000)", "-1"},
        ValueRow{"Week(10000000)", "-1"}, ValueRow{"DaysInMonth(10000000)", "-1"},
        ValueRow{"DatePart('m', 10000000)", "-1"},
        // Also where the value is computed from the fields (the formulas would give 1 or
        // read a month -1 as the calendar's): no field of an out-of-range date is made up.
        ValueRow{"DaysInYear(-700000)", "-1"}, ValueRow{"FirstDayOfMonth(10000000)", "-1"},
        ValueRow{"DatePart('q', 10000000)", "-1"}, ValueRow{"DatePart('ww', -700000)", "-1"},
        ValueRow{"DateCompare(CreateDate(2000,1,1), CreateDateTime(2000,1,1,0,0,1))", "-1"},
        ValueRow{"DateCompare(CreateDateTime(2000,1,1,0,0,1), CreateDate(2000,1,1))", "1"},
        ValueRow{"DateCompare(CreateDate(2000,1,1), 36526)", "0"},
        // Before 1900 the order within a day is the clock's (-1.25 is 06:00, -1.5 is 12:00).
        ValueRow{"DateCompare(CreateDateTime(1899,12,29,6,0,0), CreateDateTime(1899,12,29,12,0,0))", "-1"},
        ValueRow{"DateCompare(-1.25, -1.5)", "-1"}, ValueRow{"Year(Now()) GT 2000", "YES"}));

INSTANTIATE_TEST_SUITE_P(
    Arithmetic, DateValues,
    ::testing::Values(
        ValueRow{"DateAdd('m', 1, CreateDateTime(1997,1,31,10,30,0))", "{ts '1997-02-28 10:30:00'}"},
        ValueRow{"DateAdd('yyyy', 1, CreateDate(1996,2,29))", "{ts '1997-02-28 00:00:00'}"},
        ValueRow{"DateAdd('q', -1, CreateDate(1996,5,31))", "{ts '1996-02-29 00:00:00'}"},
        ValueRow{"DateAdd('h', 25, CreateDateTime(2000,1,1,8,0,0))", "{ts '2000-01-02 09:00:00'}"},
        ValueRow{"DateAdd('w', 1, CreateDate(2000,1,1))", "{ts '2000-01-02 00:00:00'}"},
        ValueRow{"DateAdd('y', 1, CreateDate(2000,1,1))", "{ts '2000-01-02 00:00:00'}"},
        ValueRow{"DateAdd('ww', -1, CreateDate(2000,1,1))", "{ts '1999-12-25 00:00:00'}"},
        ValueRow{"DateAdd('n', -90, CreateDate(2000,1,1))", "{ts '1999-12-31 22:30:00'}"},
        ValueRow{"DateAdd('s', 59, CreateDate(2000,1,1))", "{ts '2000-01-01 00:00:59'}"},
        // Before 30 December 1899 the arithmetic runs on the linear time line.
        ValueRow{"DateAdd('h', 1, CreateDateTime(1899,12,29,6,0,0))", "{ts '1899-12-29 07:00:00'}"},
        ValueRow{"DateAdd('h', 20, CreateDateTime(1899,12,29,6,0,0))", "{ts '1899-12-30 02:00:00'}"},
        ValueRow{"DateAdd('d', -1, CreateDateTime(1899,12,30,6,0,0))", "{ts '1899-12-29 06:00:00'}"},
        ValueRow{"DateDiff('h', CreateDateTime(1899,12,29,6,0,0), CreateDateTime(1899,12,29,12,0,0))", "6"},
        ValueRow{"DateDiff('n', CreateDateTime(1899,12,28,23,0,0), CreateDateTime(1899,12,30,1,0,0))", "1560"},
        ValueRow{"DateDiff('d', CreateDate(1800,1,1), CreateDate(1800,3,1))", "59"},
        ValueRow{"DateDiff('d', CreateDate(2024,1,1), CreateDate(2024,3,1))", "60"},
        ValueRow{"DateDiff('d', CreateDateTime(1996,1,1,12,0,0), CreateDateTime(1996,1,2,6,0,0))", "0"},
        ValueRow{"DateDiff('h', CreateDateTime(1996,1,1,12,0,0), CreateDateTime(1996,1,2,6,0,0))", "18"},
        ValueRow{"DateDiff('d', CreateDateTime(1996,1,2,6,0,0), CreateDateTime(1996,1,1,12,0,0))", "0"},
        ValueRow{"DateDiff('h', CreateDateTime(1996,1,2,6,0,0), CreateDateTime(1996,1,1,12,0,0))", "-18"},
        ValueRow{"DateDiff('m', CreateDate(1996,1,31), CreateDate(1996,3,30))", "2"},
        ValueRow{"DateDiff('yyyy', CreateDate(1996,1,1), CreateDate(1996,12,31))", "0"},
        ValueRow{"DateDiff('ww', CreateDate(1996,1,6), CreateDate(1996,1,13))", "0"},
        ValueRow{"DateDiff('w', CreateDate(1996,1,6), CreateDate(1996,1,13))", "1"}));

INSTANTIATE_TEST_SUITE_P(
    Constructors, DateValues,
    ::testing::Values(ValueRow{"CreateDate(96, 2, 29) + 0", "35124"},
                      ValueRow{"CreateDate(96, 2, 29)", "{ts '1996-02-29 00:00:00'}"},
                      ValueRow{"CreateDate(2026, 12, 8) + 0", "46364"},
                      ValueRow{"CreateDate(100, 1, 1) + 0", "-657434"},
                      ValueRow{"CreateDate(9999, 12, 31) + 0", "2958465"}, ValueRow{"CreateTime(12, 0, 0) + 0", "0.5"},
                      ValueRow{"CreateTime(10, 30, 0) + 0", "0.4375"},
                      ValueRow{"CreateDateTime(1997, 2, 28, 10, 30, 0) + 0", "35489.4375"},
                      ValueRow{"ParseDateTime(\"{d '1996-02-29'}\") + 0", "35124"},
                      ValueRow{"ParseDateTime('1996-02-29 10:30')", "{ts '1996-02-29 10:30:00'}"},
                      ValueRow{"ParseDateTime(\"{ts '1997-02-28 10:30:00'}\") + 0", "35489.4375"}));

class DateErrors : public ::testing::TestWithParam<FunctionErrorCase> {};

TEST_P(DateErrors, CodeAndText) {
    ExpectFunctionError(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Table, DateErrors,
    ::testing::Values(
        FunctionErrorCase{"DayOfWeekAsString",
                          {"8"},
                          0x400A,
                          "Parameter 1 of function DayOfWeekAsString which is now \"8\" must be a day of the week (an "
                          "integer in the range 1 to 7 inclusive)"},
        FunctionErrorCase{"MonthAsString",
                          {"0"},
                          0x400A,
                          "Parameter 1 of function MonthAsString which is now \"0\" must be a month number (an integer "
                          "in the range 1 to 12 inclusive)"},
        FunctionErrorCase{
            "DatePart",
            {"'x'", "1"},
            0x400A,
            "Parameter 1 of function DatePart which is now \"x\" must be a valid date/time part specifier"},
        FunctionErrorCase{"DateAdd",
                          {"'d'", "1", "CreateDate(9999,12,31)"},
                          0x400A,
                          "In the function DateAdd(part, period, date) the combination of the part specifier, which is "
                          "d, and the period specifier, which is 1, when added to date, which is 2.95846e+06, have "
                          "resulted in an invalid date value. The valid range of dates approximately covers the period "
                          "between 100 AD and 9999 AD"},
        // A step by months past the year 9999 answers DateAdd's own range message.
        FunctionErrorCase{"DateAdd",
                          {"'yyyy'", "9000", "CreateDate(2000,1,1)"},
                          0x400A,
                          "In the function DateAdd(part, period, date) the combination of the part specifier, which is "
                          "yyyy, and the period specifier, which is 9000, when added to date, which is 36526, have "
                          "resulted in an invalid date value. The valid range of dates approximately covers the period "
                          "between 100 AD and 9999 AD"},
        FunctionErrorCase{"DateAdd",
                          {"'yyyy'", "1", "CreateDate(9999,12,31)"},
                          0x400A,
                          "In the function DateAdd(part, period, date) the combination of the part specifier, which is "
                          "yyyy, and the period specifier, which is 1, when added to date, which is 2.95846e+06, have "
                          "resulted in an invalid date value. The valid range of dates approximately covers the period "
                          "between 100 AD and 9999 AD"},
        FunctionErrorCase{"DateAdd",
                          {"'m'", "-1", "CreateDate(100,1,15)"},
                          0x400A,
                          "In the function DateAdd(part, period, date) the combination of the part specifier, which is "
                          "m, and the period specifier, which is -1, when added to date, which is -657420, have "
                          "resulted in an invalid date value. The valid range of dates approximately covers the period "
                          "between 100 AD and 9999 AD"},
        FunctionErrorCase{"DateAdd",
                          {"'q'", "2147483647", "CreateDate(2000,1,1)"},
                          0x400A,
                          "In the function DateAdd(part, period, date) the combination of the part specifier, which is "
                          "q, and the period specifier, which is 2147483647, when added to date, which is 36526, have "
                          "resulted in an invalid date value. The valid range of dates approximately covers the period "
                          "between 100 AD and 9999 AD"},
        // A count between dates needs two dates: every part refuses a value out of range
        // (the weeks would hunt for a Sunday that such a value has not).
        FunctionErrorCase{"DateDiff",
                          {"'d'", "CreateDate(2000,1,1)", "3000000"},
                          0x4012,
                          "Attempt to perform an invalid date operation"},
        FunctionErrorCase{"DateDiff",
                          {"'ww'", "-700000", "CreateDate(2000,1,1)"},
                          0x4012,
                          "Attempt to perform an invalid date operation"},
        FunctionErrorCase{"DateDiff",
                          {"'m'", "CreateDate(2000,1,1)", "3000000"},
                          0x4012,
                          "Attempt to perform an invalid date operation"},
        // Only a date that is itself out of range has no month step.
        FunctionErrorCase{"DateAdd", {"'m'", "1", "3000000"}, 0x4012, "Attempt to perform an invalid date operation"},
        FunctionErrorCase{"CreateDate",
                          {"1997", "2", "29"},
                          0x4012,
                          "In the function CreateDate(year, month, day) the combination of the arguments, which are "
                          "1997- 2-29, have resulted in an invalid date value. The valid range of dates approximately "
                          "covers the period between 100 AD and 9999 AD"},
        FunctionErrorCase{"CreateDate",
                          {"10000", "1", "1"},
                          0x4012,
                          "In the function CreateDate(year, month, day) the combination of the arguments, which are "
                          "10000- 1- 1, have resulted in an invalid date value. The valid range of dates approximately "
                          "covers the period between 100 AD and 9999 AD"},
        FunctionErrorCase{"CreateDate",
                          {"-1", "1", "1"},
                          0x400A,
                          "Parameter 1 of function CreateDate which is now \"-1\" must be a non-negative integer"},
        FunctionErrorCase{"CreateTime",
                          {"24", "0", "0"},
                          0x4012,
                          "In the function CreateTime(hour, minute, second) the combination of the arguments, which "
                          "are 24: 0: 0, have resulted in an invalid time value"},
        FunctionErrorCase{"CreateDateTime",
                          {"2000", "1", "1", "0", "0"},
                          0x4009,
                          "The function CreateDateTime(year, month, day, hour, minute, second) takes exactly 6 "
                          "arguments. You have called it with 5 arguments"},
        FunctionErrorCase{"CreateDateTime",
                          {"2000", "1", "1", "0", "0", "'x'"},
                          0x400A,
                          "Parameter 6 of function CreateDateTime which is now \"x\" must be a non-negative integer"},
        FunctionErrorCase{"CreateDateTime",
                          {"2000", "1", "1", "0", "60", "0"},
                          0x4012,
                          "In the function CreateDateTime(year, month, day, hour, minute, second) the combination of "
                          "the arguments, which are 2000- 1- 1  0:60: 0, have resulted in an invalid date value. The "
                          "valid range of dates approximately covers the period between 100 AD and 9999 AD"},
        FunctionErrorCase{"ParseDateTime",
                          {"'nodate'"},
                          0x400A,
                          "The date parameter of function ParseDateTime(date), which is nodate, does not represent a "
                          "valid date"},
        FunctionErrorCase{
            "ParseDateTime",
            {"\"{d '1997-02-29'}\""},
            0x400A,
            "The date parameter of function ParseDateTime(date), which is {d &#39;1997-02-29&#39;}, does not "
            "represent a valid date"}));

// No expression can make a real that is not finite (every operator refuses such a result),
// so the refusal of one as an argument is checked with the value itself.
TEST(DateFunctions, NonFiniteArgumentsAreRefused) {
    const double inf = std::numeric_limits<double>::infinity();
    const NonFiniteCase cases[] = {
        {"CreateDate",
         {"", "1", "1"},
         1,
         inf,
         "Parameter 1 of function CreateDate which is now \"INF\" must be a finite number"},
        {"DateAdd",
         {"d", "", "1"},
         2,
         inf,
         "Parameter 2 of function DateAdd which is now \"INF\" must be a finite number"},
    };
    for (const NonFiniteCase& c : cases) ExpectNonFiniteRefused(c);
}

}  // namespace

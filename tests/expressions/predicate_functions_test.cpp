// Predicates and the date and time pictures: the English conventions decided for this
// system (y, yyy, long runs, gg, '' inside quotes), masks longer than any fixed buffer,
// and refusals instead of invented digits.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine/expressions/date_picture.h"
#include "tests/expressions/function_test_support.h"

namespace {

using exprtest::Eval;
using exprtest::ExpectFunctionError;
using exprtest::FakeRuntime;
using exprtest::FunctionErrorCase;
using exprtest::ValueRow;

class PredicateValues : public ::testing::TestWithParam<ValueRow> {};

TEST_P(PredicateValues, Text) {
    EXPECT_EQ(Eval(GetParam().expression), GetParam().text) << GetParam().expression;
}

INSTANTIATE_TEST_SUITE_P(Predicates, PredicateValues,
                         ::testing::Values(ValueRow{"IsBoolean('YES')", "YES"}, ValueRow{"IsBoolean('no')", "YES"},
                                           ValueRow{"IsBoolean('True')", "YES"}, ValueRow{"IsBoolean('0')", "YES"},
                                           ValueRow{"IsBoolean(2.5)", "YES"}, ValueRow{"IsBoolean('maybe')", "NO"},
                                           ValueRow{"IsBoolean('')", "NO"}, ValueRow{"IsBoolean(Now())", "NO"},
                                           ValueRow{"IsNumeric('12')", "YES"}, ValueRow{"IsNumeric('-1.5e3')", "YES"},
                                           ValueRow{"IsNumeric('  12')", "YES"}, ValueRow{"IsNumeric(1.5)", "YES"},
                                           ValueRow{"IsNumeric('12 ')", "NO"}, ValueRow{"IsNumeric('1,000')", "NO"},
                                           ValueRow{"IsNumeric('')", "NO"}, ValueRow{"IsNumeric(TRUE)", "NO"},
                                           ValueRow{"IsNumeric('nan')", "NO"}, ValueRow{"IsNumeric('inf')", "NO"},
                                           ValueRow{"IsNumeric('0x10')", "NO"}, ValueRow{"IsNumeric('1e999')", "NO"},
                                           ValueRow{"FileExists('')", "NO"},
                                           ValueRow{"FileExists('/no/such/file.txt')", "NO"},
                                           ValueRow{"FileExists('/')", "NO"}));

// 8 December 2026 was a Tuesday; 4 July 2005 a Monday.
INSTANTIATE_TEST_SUITE_P(
    Pictures, PredicateValues,
    ::testing::Values(
        ValueRow{"DateFormat(CreateDate(2026,12,8))", "08-Dec-26"},
        ValueRow{"DateFormat(CreateDate(2026,12,8), 'mm/dd/yyyy')", "12/08/2026"},
        ValueRow{"DateFormat(CreateDate(2026,12,8), 'mmmm d, yyyy')", "December 8, 2026"},
        ValueRow{"DateFormat(CreateDate(2024,2,29), 'mmm d, yyyy')", "Feb 29, 2024"},
        ValueRow{"DateFormat(CreateDate(2026,12,8), 'ddd dddd DDDD')", "Tue Tuesday Tuesday"},
        ValueRow{"DateFormat(CreateDate(2005,7,4), 'y')", "5"},
        ValueRow{"DateFormat(CreateDate(2005,7,4), 'yy')", "05"},
        ValueRow{"DateFormat(CreateDate(2005,7,4), 'yyy')", "2005"},
        ValueRow{"DateFormat(CreateDate(2005,7,4), 'yyyyyy')", "2005"},
        ValueRow{"DateFormat(CreateDate(150,7,4), 'yyyy y yy')", "0150 50 50"},
        ValueRow{"DateFormat(CreateDate(2005,7,4), 'ddddd mmmmm')", "Monday July"},
        ValueRow{"DateFormat(CreateDate(2005,7,4), 'm/d/yy')", "7/4/05"},
        ValueRow{"DateFormat(CreateDate(2005,7,4), 'gg yyyy')", "A.D. 2005"},
        ValueRow{"DateFormat(CreateDate(2005,7,4), 'g')", "A.D."},
        ValueRow{"DateFormat(CreateDate(2005,7,4), \"d 'o''clock'\")", "4 o'clock"},
        ValueRow{"DateFormat(CreateDate(2005,7,4), \"yyyy''mm\")", "2005'07"},
        ValueRow{"DateFormat(CreateDateTime(2005,7,4,9,3,7), 'yyyy-mm-dd hh:nn')", "2005-07-04 hh:nn"},
        // Literal characters side by side share one quoted run: no quote shows between them.
        ValueRow{"DateFormat(CreateDate(2005,7,4), 'dd/-mm(yy)')", "04/-07(05)"},
        // No quote appears but those the mask doubles, however its literals lie side by side.
        ValueRow{"DateFormat(CreateDate(2005,7,4), \"dd':'-mm-':'yy\")", "04:-07-:05"},
        ValueRow{"DateFormat(CreateDate(2005,7,4), \"h'x'w''\")", "hxw'"},
        ValueRow{"DateFormat(CreateDate(2005,7,4), \"''h''dd\")", "'h'04"},
        ValueRow{"TimeFormat(CreateTime(9,3,7), 'HH:-mm')", "09:-03"}, ValueRow{"DateFormat('')", ""},
        ValueRow{"DateFormat('', \"'open\")", ""},
        ValueRow{"DateFormat(\"{d '2005-07-04'}\", 'dd.mm.yyyy')", "04.07.2005"},
        ValueRow{"DateFormat('2005-07-04', 'dd.mm.yyyy') & '|'", "04.07.2005|"},
        ValueRow{"DateFormat(CreateDate(2005,7,4), 'dddd, mmmm dd, yyyy; dddd, mmmm dd, yyyy; dddd, mmmm dd, yyyy')",
                 "Monday, July 04, 2005; Monday, July 04, 2005; Monday, July 04, 2005"},
        ValueRow{"TimeFormat(CreateTime(14,5,0))", "02:05 PM"},
        ValueRow{"TimeFormat(CreateTime(14,5,0), 'HH:mm:ss')", "14:05:00"},
        ValueRow{"TimeFormat(CreateTime(14,5,0), 'HH:MM')", "14:05"},
        ValueRow{"TimeFormat(CreateTime(14,5,9), 'h:m:s t')", "2:5:9 P"},
        ValueRow{"TimeFormat(CreateTime(0,30,0), 'hh:mm tt')", "12:30 AM"},
        ValueRow{"TimeFormat(CreateTime(12,0,0), 'h tt')", "12 PM"},
        ValueRow{"TimeFormat(CreateTime(9,7,0), 'hhh:mmm ttt')", "09:07 AM"},
        ValueRow{"TimeFormat(CreateTime(9,7,0), 'HH\"x\"mm')", "09\"x\"07"},
        ValueRow{"TimeFormat(CreateDateTime(2005,7,4,9,3,7), 'HH:mm yyyy')", "09:03 yyyy"}));

TEST(Predicates, FileExistsOnlyForFiles) {
    const std::filesystem::path dir = std::filesystem::path(std::getenv("TESSARO_HOME")) / "fileexists";
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "a.txt") << "x";
    FakeRuntime runtime;
    runtime.variables = {{"file", (dir / "a.txt").string()}, {"dir", dir.string()}};
    EXPECT_EQ(Eval("FileExists(file)", &runtime), "YES");
    EXPECT_EQ(Eval("FileExists(dir)", &runtime), "NO");
}

TEST(DatePicture, QuotesAndLiteralCharacters) {
    DateFields f;
    ASSERT_TRUE(SplitDateValue(38537.37716435185, f));  // 2005-07-04 09:03:07
    EXPECT_EQ(FormatDatePicture(f, "'d'd''"), "d4'");
    EXPECT_EQ(FormatDatePicture(f, "H.mm.ss"), "9.03.07");
    EXPECT_EQ(FormatDatePicture(f, ""), "");
    EXPECT_EQ(FormatDatePicture(f, "'unclosed d"), "unclosed d");
}

class PredicateErrors : public ::testing::TestWithParam<FunctionErrorCase> {};

TEST_P(PredicateErrors, CodeAndText) {
    ExpectFunctionError(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Table, PredicateErrors,
    ::testing::Values(
        FunctionErrorCase{"DateFormat",
                          {"1", "'d'", "3"},
                          0x4009,
                          "The function DateFormat takes at most 2 arguments; You have called it with 3 arguments"},
        FunctionErrorCase{"TimeFormat",
                          {"1", "'h'", "3"},
                          0x4009,
                          "The function TimeFormat takes at most 2 arguments; You have called it with 3 arguments"},
        FunctionErrorCase{"DateFormat", {"CreateDate(2026,12,8)", "\"'open\""}, 0x400F, "Invalid format mask"},
        FunctionErrorCase{"TimeFormat", {"0.5", "\"h 'x\""}, 0x400F, "Invalid format mask"},
        // A value outside the calendar's years is refused, never printed as garbage.
        FunctionErrorCase{"DateFormat", {"10000000"}, 0x4012, "Attempt to perform an invalid date operation"},
        FunctionErrorCase{"TimeFormat", {"-10000000", "'HH'"}, 0x4012, "Attempt to perform an invalid date operation"},
        FunctionErrorCase{
            "DateFormat", {"CreateDate(9999,12,31) + 1"}, 0x4012, "Attempt to perform an invalid date operation"},
        FunctionErrorCase{"DateFormat",
                          {"'nodate'"},
                          0x4011,
                          "Cannot convert nodate to date.<P>Please, check the Tessaro manual for the allowed "
                          "conversions between data types (see docs/templates.md, section \"Operators\")"}));

}  // namespace

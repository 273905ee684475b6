// Date values and the date helpers: fields and rounding, the ODBC forms, month steps,
// part counts, masks and the name tests.
#include <gtest/gtest.h>

#include "engine/expressions/date_helpers.h"
#include "engine/expressions/date_value.h"
#include "tests/expressions/expression_test_support.h"

namespace {

using exprtest::Catch;

double Date(int y, int m, int d, int h = 0, int mi = 0, int s = 0) {
    double v = 0;
    EXPECT_TRUE(MakeDateValue(y, m, d, h, mi, s, v)) << y << "-" << m << "-" << d;
    return v;
}

TEST(DateValue, OdbcForms) {
    EXPECT_EQ(FormatODBCTimestamp(35000.75), "{ts '1995-10-28 18:00:00'}");
    EXPECT_EQ(FormatODBCDate(35000.75), "{d '1995-10-28'}");
    EXPECT_EQ(FormatODBCTime(35000.75), "{t '18:00:00'}");
    EXPECT_EQ(FormatODBCTimestamp(36556.5), "{ts '2000-01-31 12:00:00'}");
    EXPECT_EQ(FormatODBCTimestamp(0.0), "{ts '1899-12-30 00:00:00'}");
    EXPECT_EQ(FormatODBCTimestamp(-1.25), "{ts '1899-12-29 06:00:00'}");
    EXPECT_EQ(FormatODBCTimestamp(-657434.0), "{ts '0100-01-01 00:00:00'}");
    EXPECT_EQ(FormatODBCTimestamp(-657435.0), "");
    EXPECT_EQ(FormatODBCTimestamp(2958465.0), "{ts '9999-12-31 00:00:00'}");
    EXPECT_EQ(FormatODBCTimestamp(2958465.5), "");
    const double almostMidnight = Date(2000, 1, 1) + (86399.6 / 86400.0);
    EXPECT_EQ(FormatODBCTimestamp(almostMidnight), "{ts '2000-01-02 00:00:00'}");
}

TEST(DateValue, FieldsAndLinearLine) {
    DateFields f;
    ASSERT_TRUE(SplitDateValue(Date(1996, 2, 29, 13, 5, 9), f));
    EXPECT_EQ(f.year, 1996);
    EXPECT_EQ(f.month, 2);
    EXPECT_EQ(f.day, 29);
    EXPECT_EQ(f.hour, 13);
    EXPECT_EQ(f.minute, 5);
    EXPECT_EQ(f.second, 9);
    EXPECT_EQ(f.dayOfWeek, 5);  // a Thursday
    EXPECT_EQ(f.dayOfYear, 60);
    EXPECT_FALSE(SplitDateValue(3e6, f));
    EXPECT_EQ(f.year, -1);
    EXPECT_DOUBLE_EQ(DateToLinear(-1.25), -0.75);
    EXPECT_DOUBLE_EQ(LinearToDate(-0.75), -1.25);
    double r = 0;
    ASSERT_TRUE(AddDateSpan(-1.25, 1.0, r));
    EXPECT_DOUBLE_EQ(r, 0.25);
    EXPECT_DOUBLE_EQ(Date(1899, 12, 29, 6), -1.25);
}

TEST(DateValue, TextToDateThroughTheSharedParser) {
    struct Case {
        const char* text;
        const char* stamp;
    };
    const Case cases[] = {{"1995-10-28 18:00:00", "{ts '1995-10-28 18:00:00'}"},
                          {"1995-10-28", "{ts '1995-10-28 00:00:00'}"},
                          {"18:00:00", "{ts '1899-12-30 18:00:00'}"},
                          {"4/22/95", "{ts '1995-04-22 00:00:00'}"},
                          {"March 4, 1997", "{ts '1997-03-04 00:00:00'}"}};
    for (const Case& c : cases) {
        double v = -1;
        ASSERT_TRUE(TryParseDate(c.text, v)) << c.text;
        EXPECT_EQ(FormatODBCTimestamp(v), c.stamp) << c.text;
    }
    double untouched = 42;
    EXPECT_FALSE(TryParseDate("5", untouched)) << "a plain integer is no date";
    EXPECT_FALSE(TryParseDate("xyz", untouched));
    EXPECT_EQ(untouched, 42);
    const auto f = Catch([] {
        double v;
        TextToDate("xyz", v);
    });
    EXPECT_EQ(f.code, 0x4011u);
    EXPECT_EQ(f.text, "Cannot convert xyz to a date");
}

TEST(DateHelpers, PartSpecifiers) {
    for (const char* ok : {"YYYY", "yyyy", "Ww", "d", "h", "M", "n", "q", "s", "W", "y"})
        EXPECT_TRUE(IsDatePartSpecifier(ok)) << ok;
    for (const char* bad : {"yy", "yyy", "", "x", "dd", "wk"}) EXPECT_FALSE(IsDatePartSpecifier(bad)) << bad;
    EXPECT_EQ(DatePartCode("yy"), 0);
    EXPECT_EQ(DatePartCode("wk"), 6);
    EXPECT_EQ(DatePartCode("ww"), 3);
    EXPECT_EQ(DatePartCode("y"), 5);
    EXPECT_EQ(DatePartCode("N"), 8);
    const auto f = Catch([] { DatePartCode("x"); });
    EXPECT_TRUE(f.thrown);
    EXPECT_EQ(f.code, 0u);
    EXPECT_EQ(f.text, "");
}

TEST(DateHelpers, MonthSteps) {
    EXPECT_DOUBLE_EQ(AddMonthsSpan(1, Date(1996, 1, 31)), 29.0);
    EXPECT_DOUBLE_EQ(AddMonthsSpan(-1, Date(1996, 3, 31)), -31.0);
    double r = 0;
    ASSERT_TRUE(AddDateSpan(Date(1996, 1, 15), AddMonthsSpan(-13, Date(1996, 1, 15)), r));
    EXPECT_EQ(FormatODBCDate(r), "{d '1994-12-15'}");
    const double morning = Date(1996, 1, 31, 10);
    ASSERT_TRUE(AddDateSpan(morning, AddMonthsSpan(1, morning), r));
    EXPECT_EQ(FormatODBCTimestamp(r), "{ts '1996-02-29 10:00:00'}");
    EXPECT_DOUBLE_EQ(DateAddSpan(3, -2, Date(2000, 1, 1)), -14.0);
    EXPECT_DOUBLE_EQ(DateAddSpan(2, 0, Date(2000, 1, 1)), 0.0);
    EXPECT_DOUBLE_EQ(DateAddSpan(7, 12, Date(2000, 1, 1)), 0.5);
    // A step past the year 9999 (or before 100) is counted all the same: the sum leaves the
    // valid range, for DateAdd to report in its own words.
    const double far = AddMonthsSpan(12 * 9000, 36526.0);
    EXPECT_DOUBLE_EQ(far, 9000 * 365.0 + 2183);  // 2183 leap days
    EXPECT_FALSE(AddDateSpan(36526.0, far, r));
    EXPECT_FALSE(AddDateSpan(Date(100, 6, 1), AddMonthsSpan(-12, Date(100, 6, 1)), r));
    EXPECT_DOUBLE_EQ(AddMonthsSpan(1, Date(9999, 12, 31)), 31.0);
    // Only a date out of range has no step.
    const auto f = Catch([] { AddMonthsSpan(1, 3000000.0); });
    EXPECT_EQ(f.code, 0x4012u);
    EXPECT_EQ(f.text, "Attempt to perform an invalid date operation");
}

TEST(DateHelpers, MonthsBetween) {
    EXPECT_EQ(MonthsBetween(Date(1996, 1, 31), Date(1996, 3, 30)), 2);
    EXPECT_EQ(MonthsBetween(Date(1996, 3, 30), Date(1996, 1, 31)), -2);
    EXPECT_EQ(MonthsBetween(Date(1996, 1, 31), Date(1996, 1, 31)), 0);
    EXPECT_EQ(MonthsBetween(Date(1990, 5, 1), Date(2000, 5, 1)), 120);
    EXPECT_EQ(MonthsBetween(Date(1880, 1, 1), Date(1880, 3, 1)), 2) << "dates before 1899 on the linear line";
}

TEST(DateHelpers, DiffCounts) {
    const double a = Date(1996, 1, 1, 10), b = Date(1996, 1, 2, 9, 59);
    EXPECT_EQ(DateDiffCount(4, a, b), 0);
    EXPECT_EQ(DateDiffCount(7, a, b), 23);
    EXPECT_EQ(DateDiffCount(8, a, b), 1439);
    // Rounded to whole seconds before dividing: 23:00 to 01:00 is two hours.
    const double late = Date(2000, 1, 1, 23), early = Date(2000, 1, 2, 1);
    EXPECT_EQ(DateDiffCount(7, late, early), 2);
    EXPECT_EQ(DateDiffCount(8, late, early), 120);
    EXPECT_EQ(DateDiffCount(9, late, early), 7200);
    EXPECT_EQ(DateDiffCount(7, early, late), -2);
    // Before 30 December 1899 within one day: 29 Dec 06:00 to 29 Dec 12:00.
    EXPECT_EQ(DateDiffCount(7, -1.25, -1.5), 6);
    EXPECT_EQ(DateDiffCount(0, Date(1990, 5, 1), Date(2000, 5, 1)), 10);
    EXPECT_EQ(DateDiffCount(1, Date(1990, 5, 1), Date(1991, 5, 1)), 4);
    const double saturday = Date(2000, 1, 1);  // a Saturday
    EXPECT_EQ(DateDiffCount(3, saturday, saturday + 7), 0);
    EXPECT_EQ(DateDiffCount(3, saturday, saturday + 8), 1);
    EXPECT_EQ(DateDiffCount(3, saturday + 1, saturday + 8), 1);
    EXPECT_EQ(DateDiffCount(3, saturday + 8, saturday), -1);
    EXPECT_EQ(DateDiffCount(6, saturday, saturday + 15), 2);
    const auto f = Catch([] { DateDiffCount(9, -657434.0, 2958465.0); });
    EXPECT_EQ(f.code, 0x4012u) << "seconds across 8000 years do not fit 32 bits";
}

TEST(DateHelpers, Masks) {
    EXPECT_EQ(ConvertDateMask("mmm dd, yyyy"), "MMM dd',' yyyy");
    EXPECT_EQ(ConvertDateMask("yyyy-mm-dd"), "yyyy'-'MM'-'dd");
    EXPECT_EQ(ConvertDateMask("'at' h"), "'at' 'h'");
    EXPECT_EQ(ConvertDateMask("DD/YY"), "dd'/'yy");
    EXPECT_EQ(ConvertDateMask(""), "");
    EXPECT_EQ(ConvertDateMask("hh:nn"), "'hh:nn'");
    EXPECT_EQ(ConvertDateMask("d 'o''clock'"), "d 'o''clock'");
    // A literal the converter quotes next to one the mask quotes joins the same run.
    EXPECT_EQ(ConvertDateMask("dd':'-mm"), "dd':-'MM");
    EXPECT_EQ(ConvertDateMask("h'x'"), "'hx'");
    EXPECT_EQ(ConvertDateMask("''h''"), "'''h'''");
    EXPECT_EQ(ConvertTimeMask("HH:MM:SS"), "HH':'mm':'ss");
    EXPECT_EQ(ConvertTimeMask("h:mm tt"), "h':'mm tt");
    EXPECT_EQ(ConvertTimeMask("d"), "'d'");
    const auto f = Catch([] { ConvertDateMask("'open"); });
    EXPECT_EQ(f.code, 0x400Fu);
    EXPECT_EQ(f.text, "Invalid format mask");
}

TEST(DateHelpers, NamesAndBraces) {
    for (const char* ok : {"a", "Form.Name_1", "a.", "x1.y2_"}) EXPECT_TRUE(IsValidVariableName(ok)) << ok;
    for (const char* bad : {"", "1a", "_a", ".a", "a..b", "a.1", "a-b", "a b"})
        EXPECT_FALSE(IsValidVariableName(bad)) << bad;
    EXPECT_TRUE(BeginsWithBrace("  {d '1998-01-01'}"));
    EXPECT_TRUE(BeginsWithBrace("\t\n{"));
    EXPECT_FALSE(BeginsWithBrace("x{"));
    EXPECT_FALSE(BeginsWithBrace(""));
}

TEST(DateHelpers, SystemTime) {
    CSystemTime t;
    DateToSystemTime(Date(2000, 1, 1, 12, 30, 15), t);
    EXPECT_EQ(t.wYear, 2000);
    EXPECT_EQ(t.wMonth, 1);
    EXPECT_EQ(t.wDay, 1);
    EXPECT_EQ(t.wDayOfWeek, 6);  // Saturday
    EXPECT_EQ(t.wHour, 12);
    EXPECT_EQ(t.wMinute, 30);
    EXPECT_EQ(t.wSecond, 15);
    EXPECT_EQ(t.wMilliseconds, 0);
}

}  // namespace

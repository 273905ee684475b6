#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "foundation/date_text_parser.h"

namespace {

using tessaro::foundation::DateOrder;
using tessaro::foundation::DateTextParts;
using tessaro::foundation::ParseDateText;
using tessaro::foundation::ParsedDateTime;

struct Case {
    const char* text;
    DateOrder order;
    DateTextParts parts;
    int year, month, day, hour, minute, second;
};

constexpr auto US = DateOrder::MonthDayYear;
constexpr auto UK = DateOrder::DayMonthYear;
constexpr auto D = DateTextParts::DateOnly;
constexpr auto T = DateTextParts::TimeOnly;
constexpr auto DT = DateTextParts::DateAndTime;

TEST(DateTextParser, AcceptedForms) {
    const Case cases[] = {
        {"03/04/1997", US, D, 1997, 3, 4, 0, 0, 0},
        {"03/04/1997", UK, D, 1997, 4, 3, 0, 0, 0},
        {"3-4-97", US, D, 1997, 3, 4, 0, 0, 0},
        {"3.4.05", UK, D, 2005, 4, 3, 0, 0, 0},
        {"1/2/29", US, D, 2029, 1, 2, 0, 0, 0},
        {"1/2/30", US, D, 1930, 1, 2, 0, 0, 0},
        {"1997-03-04", UK, D, 1997, 3, 4, 0, 0, 0},
        {"March 3, 1997", US, D, 1997, 3, 3, 0, 0, 0},
        {"March 3rd, 1997", US, D, 1997, 3, 3, 0, 0, 0},
        {"3 Mar 1997", UK, D, 1997, 3, 3, 0, 0, 0},
        {"21st September 2001", UK, D, 2001, 9, 21, 0, 0, 0},
        {"Tuesday, March 4, 1997", US, D, 1997, 3, 4, 0, 0, 0},
        {"dec 1999", US, D, 1999, 12, 1, 0, 0, 0},
        {"4-Jul-76", US, D, 1976, 7, 4, 0, 0, 0},
        {"2/29/2000", US, D, 2000, 2, 29, 0, 0, 0},
        {"3/4/1997 15:30", US, D, 1997, 3, 4, 15, 30, 0},
        {"15:30", US, T, 1899, 12, 30, 15, 30, 0},
        {"3:30:15 PM", US, T, 1899, 12, 30, 15, 30, 15},
        {"3 PM", US, T, 1899, 12, 30, 15, 0, 0},
        {"3 p.m.", US, T, 1899, 12, 30, 15, 0, 0},
        {"12 AM", US, T, 1899, 12, 30, 0, 0, 0},
        {"12:05 pm", US, T, 1899, 12, 30, 12, 5, 0},
        {"10:00:00.250", US, T, 1899, 12, 30, 10, 0, 0},
        {"March 3, 1997 9:05 am", US, DT, 1997, 3, 3, 9, 5, 0},
    };
    for (const Case& c : cases) {
        ParsedDateTime r;
        ASSERT_TRUE(ParseDateText(c.text, c.order, c.parts, r)) << c.text;
        EXPECT_EQ(r.year, c.year) << c.text;
        EXPECT_EQ(r.month, c.month) << c.text;
        EXPECT_EQ(r.day, c.day) << c.text;
        EXPECT_EQ(r.hour, c.hour) << c.text;
        EXPECT_EQ(r.minute, c.minute) << c.text;
        EXPECT_EQ(r.second, c.second) << c.text;
    }
}

TEST(DateTextParser, RefusedTexts) {
    const struct {
        const char* text;
        DateOrder order;
        DateTextParts parts;
    } cases[] = {
        {"", US, DT},          {"   ", US, DT},           {"hello", US, D},
        {"13/01/1997", US, D}, {"2/30/2000", US, D},      {"2/29/1900", US, D},
        {"31/12/1999", US, D}, {"12/31/1999", UK, D},     {"1/2/3/4", US, D},
        {"15:30", US, D},      {"3/4/1997", US, T},       {"25:00", US, T},
        {"10:60", US, T},      {"13 PM", US, T},          {"0 AM", US, T},
        {"42", US, DT},        {"March April 3", US, D},  {"3/4/1997 #", US, D},
        {"1:2:3:4", US, T},    {"1234567890/1/1", US, D}, {"1/1/99999", US, D},
        {"3 PM 4 PM", US, T},  {"-2.9", US, DT},          {"2.9", US, DT},
        {"/3/4/1997", US, D},
    };
    for (const auto& c : cases) {
        ParsedDateTime r;
        EXPECT_FALSE(ParseDateText(c.text, c.order, c.parts, r)) << c.text;
    }
}

TEST(DateTextParser, MissingYearIsThisYear) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    ParsedDateTime r;
    ASSERT_TRUE(ParseDateText("7/4", US, DT, r));
    EXPECT_EQ(r.year, local.tm_year + 1900);
    EXPECT_EQ(r.month, 7);
    EXPECT_EQ(r.day, 4);
    ASSERT_TRUE(ParseDateText("4 July", UK, D, r));
    EXPECT_EQ(r.month, 7);
    EXPECT_EQ(r.day, 4);
}

TEST(DateTextParser, DaysInMonth) {
    EXPECT_EQ(tessaro::foundation::DaysInMonth(2000, 2), 29);
    EXPECT_EQ(tessaro::foundation::DaysInMonth(1900, 2), 28);
    EXPECT_EQ(tessaro::foundation::DaysInMonth(2024, 4), 30);
    EXPECT_EQ(tessaro::foundation::DaysInMonth(2024, 13), 0);
}

}  // namespace

#include "foundation/rwdate.h"

#include <climits>
#include <gtest/gtest.h>

namespace {

struct DateReferenceCase {
    unsigned month, day, year, dayNumber, weekday, dayOfYear;
};
#include "tests/foundation/reference/date_reference_cases.inc"

// Day numbers, weekdays and days of the year against Python's calendar.
TEST(RWJulianDate, MatchesReferenceCalendar) {
    for (const auto& c : kDateReference) {
        const RWJulianDate d(c.day, c.month, c.year);
        EXPECT_EQ(d.julian(), c.dayNumber) << c.year << "-" << c.month << "-" << c.day;
        EXPECT_EQ(d.weekDay(), c.weekday) << c.year << "-" << c.month << "-" << c.day;
        EXPECT_EQ(d.day(), c.dayOfYear) << c.year << "-" << c.month << "-" << c.day;
        EXPECT_EQ(RWJulianDate(c.dayOfYear, c.year), d) << c.year << "-" << c.month << "-" << c.day;
    }
}

struct DayCase {
    unsigned m, d, y;
    unsigned expected;
};

TEST(RWJulianDate, DayNumbers) {
    const DayCase cases[] = {
        {1, 1, 1900, 2415021}, {1, 1, 1901, 2415386},   {12, 31, 1999, 2451544}, {2, 29, 2000, 2451604},
        {2, 29, 1900, 0},      {2, 29, 2024, 2460370},  {2, 29, 2023, 0},        {13, 1, 1998, 0},
        {0, 1, 1998, 0},       {1, 0, 1998, 0},         {1, 32, 1998, 0},        {4, 31, 1998, 0},
        {3, 1, 1600, 2305508}, {10, 15, 1582, 2299161},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RWJulianDate::dayNumber(c.m, c.d, c.y), c.expected) << c.m << "/" << c.d << "/" << c.y;
}

TEST(RWJulianDate, TwoDigitYearsAreTwentiethCenturyButHundredIsNot) {
    EXPECT_EQ(RWJulianDate::dayNumber(1, 1, 99), RWJulianDate::dayNumber(1, 1, 1999));
    EXPECT_EQ(RWJulianDate::dayNumber(1, 1, 0), RWJulianDate::dayNumber(1, 1, 1900));
    const RWJulianDate hundred(1u, 1u, 100u);
    ASSERT_TRUE(hundred.isValid());
    EXPECT_EQ(hundred.year(), 100u);
}

TEST(RWJulianDate, LeapYearsAndLengths) {
    struct {
        unsigned year;
        unsigned leap;
    } cases[] = {{1900, 0}, {2000, 1}, {2024, 1}, {1996, 1}, {1999, 0}, {2100, 0}, {2400, 1}, {100, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(RWJulianDate::isLeapYear(c.year), c.leap) << c.year;
        EXPECT_EQ(RWJulianDate::yearLength(c.year), 365 + c.leap) << c.year;
        EXPECT_EQ(RWJulianDate::monthLength(2, c.year), 28 + c.leap) << c.year;
    }
    const unsigned lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (unsigned m = 1; m <= 12; ++m) EXPECT_EQ(RWJulianDate::monthLength(m, 1999), lengths[m - 1]);
    EXPECT_EQ(RWJulianDate::monthLength(0, 1999), 0u);
    EXPECT_EQ(RWJulianDate::monthLength(13, 1999), 0u);
}

TEST(RWJulianDate, WeekdaysMondayIsOne) {
    struct {
        unsigned d, m, y, weekday;
    } cases[] = {{1, 1, 2000, 6}, {1, 1, 1900, 1}, {9, 12, 2026, 3}, {4, 7, 1976, 7}, {29, 2, 2024, 4}};
    for (const auto& c : cases) EXPECT_EQ(RWJulianDate(c.d, c.m, c.y).weekDay(), c.weekday) << c.y;
}

TEST(RWJulianDate, DayOfYearConstructor) {
    RWJulianDate d1(1u, 1998u);
    EXPECT_EQ(d1, RWJulianDate(1u, 1u, 1998u));
    RWJulianDate leap(60u, 2000u);
    EXPECT_EQ(leap.month(), 2u);
    EXPECT_EQ(leap.dayOfMonth(), 29u);
    EXPECT_EQ(RWJulianDate(1u, 0u).julian(), 2415387u);
    EXPECT_EQ(RWJulianDate(32u, 98u), RWJulianDate(1u, 2u, 1998u));
}

TEST(RWJulianDate, YearHundredUsesItsOwnCalendar) {
    // Year 100 is not a leap year: day 60 is 1 March, not 29 February 2000.
    RWJulianDate d(60u, 100u);
    EXPECT_EQ(d.year(), 100u);
    EXPECT_EQ(d.month(), 3u);
    EXPECT_EQ(d.dayOfMonth(), 1u);
    EXPECT_EQ(d.day(), 60u);
    EXPECT_EQ(RWJulianDate(31u, 12u, 100u).day(), 365u);
}

TEST(RWJulianDate, SplitRoundTripsAcrossCenturies) {
    for (unsigned y : {100u, 1582u, 1899u, 1900u, 2000u, 2024u, 9999u}) {
        for (unsigned m = 1; m <= 12; ++m) {
            const unsigned last = RWJulianDate::monthLength(m, y);
            for (unsigned d : {1u, 15u, last}) {
                RWJulianDate date(d, m, y);
                ASSERT_TRUE(date.isValid()) << y << "-" << m << "-" << d;
                EXPECT_EQ(date.year(), y);
                EXPECT_EQ(date.month(), m);
                EXPECT_EQ(date.dayOfMonth(), d);
                EXPECT_EQ(date.day(), date.monthStartDayOfYear(m) + d - 1);
            }
        }
    }
}

TEST(RWJulianDate, MonthStartDayOfYear) {
    EXPECT_EQ(RWJulianDate(1u, 1u, 1999u).monthStartDayOfYear(3), 60u);
    EXPECT_EQ(RWJulianDate(1u, 1u, 2000u).monthStartDayOfYear(3), 61u);
    EXPECT_EQ(RWJulianDate(1u, 1u, 2000u).monthStartDayOfYear(2), 32u);
    EXPECT_EQ(RWJulianDate(1u, 1u, 2000u).monthStartDayOfYear(13), 0u);
}

TEST(RWJulianDate, NextAndPrevious) {
    const RWJulianDate sat(1u, 1u, 2000u);
    EXPECT_EQ(sat.next(sat.weekDay()) - sat, 7);
    EXPECT_EQ(sat - sat.previous(sat.weekDay()), 7);
    EXPECT_EQ(sat.next(7u) - sat, 1);      // Sunday follows
    EXPECT_EQ(sat - sat.previous(5u), 1);  // Friday precedes
    EXPECT_EQ(sat.next(1u), RWJulianDate(3u, 1u, 2000u));
    EXPECT_EQ(sat.next("monday"), RWJulianDate(3u, 1u, 2000u));
    EXPECT_FALSE(sat.next("Blursday").isValid());
}

TEST(RWJulianDate, BadWeekdayIsAnAssertion) {
    const RWJulianDate d(1u, 1u, 2000u);
    EXPECT_DEATH(d.next(8u), "desiredDayOfWeek <= 7");
    EXPECT_DEATH(d.previous(0u), "desiredDayOfWeek >= 1");
}

TEST(RWJulianDate, ComparingWithNoDateIsAnAssertion) {
    const RWJulianDate d(1u, 1u, 2000u);
    EXPECT_DEATH(d.compareTo(nullptr), "Assertion failed: \\(d!=0\\) != 0, file ");
}

TEST(RWJulianDate, CompareAndExtremes) {
    const RWJulianDate a(1u, 1u, 2000u), b(2u, 1u, 2000u);
    EXPECT_EQ(a.compareTo(&b), -1);
    EXPECT_EQ(b.compareTo(&a), 1);
    EXPECT_EQ(a.compareTo(&a), 0);
    EXPECT_EQ(a.max(b), b);
    EXPECT_EQ(a.min(b), a);
    EXPECT_EQ(a.hash(), a.julian());
}

TEST(RWJulianDate, ToAndFromCalendarRecord) {
    struct tm t {};
    RWJulianDate(1u, 3u, 2000u).extract(&t);
    EXPECT_EQ(t.tm_year, 100);
    EXPECT_EQ(t.tm_mon, 2);
    EXPECT_EQ(t.tm_mday, 1);
    EXPECT_EQ(t.tm_wday, 3);  // Wednesday
    EXPECT_EQ(t.tm_yday, 60);
    EXPECT_EQ(t.tm_isdst, -1);
    EXPECT_EQ(RWJulianDate(&t), RWJulianDate(1u, 3u, 2000u));

    struct tm bad {};
    RWJulianDate().extract(&bad);
    for (int field : {bad.tm_sec, bad.tm_min, bad.tm_hour, bad.tm_mday, bad.tm_mon, bad.tm_year, bad.tm_wday,
                      bad.tm_yday, bad.tm_isdst})
        EXPECT_EQ(field, INT_MIN);
}

TEST(RWJulianDate, NamesInTheCLocale) {
    const RWJulianDate d(1u, 1u, 2000u);
    EXPECT_EQ(d.weekDayName(), "Saturday");
    EXPECT_EQ(d.monthName(), "January");
    EXPECT_EQ(RWJulianDate(5u, "Feb", 2000u), RWJulianDate(5u, 2u, 2000u));
    EXPECT_FALSE(RWJulianDate(5u, "Febtober", 2000u).isValid());
}

TEST(RWJulianDate, TodayAndConverter) {
    EXPECT_TRUE(RWJulianDate::now().isValid());
    auto utc = [](std::time_t t, struct tm* out) { return gmtime_r(&t, out) != nullptr; };
    EXPECT_EQ(RWJulianDate(std::time_t{0}, +utc), RWJulianDate(1u, 1u, 1970u));
    auto failing = [](std::time_t, struct tm*) { return false; };
    EXPECT_FALSE(RWJulianDate(std::time_t{0}, +failing).isValid());
}

}  // namespace

#include "foundation/rwzone.h"

#include <climits>
#include <gtest/gtest.h>

namespace {

struct tm record(int year, int month, int day, int hour, int minute) {
    struct tm t {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_isdst = -1;
    timegm(&t);  // fills tm_wday consistently with the date
    t.tm_hour = hour;
    t.tm_min = minute;
    return t;
}

TEST(RWZoneInfo, FromZoneNumber) {
    RWZoneInfo est(5, 1);
    EXPECT_EQ(est.timeZoneName(), "EST");
    EXPECT_EQ(est.altZoneName(), "EDT");
    EXPECT_EQ(est.timeZoneOffset(), 18000);
    EXPECT_EQ(est.altZoneOffset(), 14400);
    EXPECT_TRUE(est.daylightObserved());

    RWZoneInfo gmt(0, 0);
    EXPECT_EQ(gmt.timeZoneName(), "GMT");
    EXPECT_EQ(gmt.altZoneName(), "GMT");
    EXPECT_EQ(gmt.timeZoneOffset(), 0);
    EXPECT_EQ(gmt.altZoneOffset(), 0);
    EXPECT_FALSE(gmt.daylightObserved());

    EXPECT_EQ(RWZoneInfo(0, 1).altZoneName(), "WET DST");
    EXPECT_EQ(RWZoneInfo(-12, 2).timeZoneName(), "GMT+12");
    EXPECT_EQ(RWZoneInfo(11, 2).altZoneName(), "GMT-12");
    // Outside the table: no names, no crash.
    EXPECT_EQ(RWZoneInfo(40, 1).timeZoneName(), "");
}

struct DstCase {
    int year, month, day, hour, minute;
    bool daylight;
};

TEST(RWZoneInfo, NorthernRuleTransitions) {
    RWZoneInfo est(5, 1);
    const DstCase cases[] = {
        {1995, 4, 2, 2, 0, true},
        {1995, 4, 2, 1, 59, false},
        {1995, 10, 29, 2, 0, false},
        {1995, 10, 29, 1, 59, true},
        {1995, 7, 4, 12, 0, true},
        {1995, 1, 15, 12, 0, false},
        {1995, 12, 31, 23, 59, false},
        // 1975: from the last Sunday of February (23 February).
        {1975, 2, 23, 2, 0, true},
        {1975, 2, 22, 12, 0, false},
        // 1966 uses the oldest rule: last Sunday of April (24 April).
        {1966, 4, 24, 2, 0, true},
        {1966, 4, 17, 12, 0, false},
        // 1974: from the first Sunday of January (6 January).
        {1974, 1, 6, 2, 0, true},
        {1974, 1, 5, 23, 0, false},
    };
    for (const auto& c : cases) {
        const struct tm t = record(c.year, c.month, c.day, c.hour, c.minute);
        EXPECT_EQ(est.isDaylight(&t), c.daylight)
            << c.year << "-" << c.month << "-" << c.day << " " << c.hour << ":" << c.minute;
    }
}

TEST(RWZoneInfo, EuropeanRule) {
    RWZoneInfo met(-1, 2);
    const DstCase cases[] = {
        {1996, 3, 31, 2, 0, true},  {1996, 3, 31, 1, 0, false}, {1996, 6, 1, 0, 0, true},
        {1996, 9, 29, 1, 59, true}, {1996, 9, 29, 2, 0, false}, {1996, 11, 1, 0, 0, false},
    };
    for (const auto& c : cases) {
        const struct tm t = record(c.year, c.month, c.day, c.hour, c.minute);
        EXPECT_EQ(met.isDaylight(&t), c.daylight) << c.month << "-" << c.day;
    }
}

TEST(RWZoneInfo, SouthernRuleIsDaylightOutsideTheWinter) {
    // Begins in October, ends in March: daylight spans the turn of the year.
    static const RWDstRule south{nullptr, 0, true, {9, 0, 0, 120}, {2, 4, 0, 180}};
    RWZoneInfo zone(&south, -36000, "AEST", -39600, "AEDT");
    const DstCase cases[] = {
        {1999, 1, 15, 12, 0, true},  {1999, 3, 28, 2, 59, true},  {1999, 3, 28, 3, 0, false},
        {1999, 7, 1, 12, 0, false},  {1999, 10, 3, 1, 59, false}, {1999, 10, 3, 2, 0, true},
        {1999, 12, 25, 12, 0, true},
    };
    for (const auto& c : cases) {
        const struct tm t = record(c.year, c.month, c.day, c.hour, c.minute);
        EXPECT_EQ(zone.isDaylight(&t), c.daylight) << c.month << "-" << c.day << " " << c.hour;
    }
}

TEST(RWZoneInfo, BeginAndEndOfDaylight) {
    RWZoneInfo est(5, 1);
    struct tm t {};
    t.tm_year = 96;
    est.getBeginDaylight(&t);
    EXPECT_EQ(t.tm_mon, 3);
    EXPECT_EQ(t.tm_mday, 7);
    EXPECT_EQ(t.tm_hour, 2);
    EXPECT_EQ(t.tm_min, 0);
    EXPECT_EQ(t.tm_wday, 0);
    EXPECT_EQ(t.tm_isdst, -1);
    est.getEndDaylight(&t);
    EXPECT_EQ(t.tm_mon, 9);
    EXPECT_EQ(t.tm_mday, 27);
}

TEST(RWZoneInfo, ZoneWithoutRules) {
    RWZoneInfo plain(3600L, "XYZ");
    EXPECT_EQ(plain.altZoneName(), "XYZ");
    EXPECT_EQ(plain.altZoneOffset(), 3600);
    const struct tm summer = record(1996, 7, 1, 12, 0);
    EXPECT_FALSE(plain.isDaylight(&summer));
    struct tm t = summer;
    plain.getBeginDaylight(&t);
    for (int field : {t.tm_sec, t.tm_min, t.tm_hour, t.tm_mday, t.tm_mon, t.tm_year, t.tm_wday, t.tm_yday, t.tm_isdst})
        EXPECT_EQ(field, INT_MIN);
}

TEST(RWZone, ProcessWideZones) {
    EXPECT_EQ(RWZone::utc().timeZoneName(), "GMT");
    EXPECT_EQ(RWZone::utc().timeZoneOffset(), 0);
    RWZone::releaseUtc();
    EXPECT_EQ(RWZone::utc().timeZoneName(), "GMT");  // recreated on next use
    EXPECT_FALSE(RWZone::localStandard().daylightObserved());
    EXPECT_EQ(RWZone::localStandard().timeZoneOffset(), RWZone::local().timeZoneOffset());

    static const RWZoneInfo mine(5, 1);
    const RWZone* previous = RWZone::standard(&mine);
    EXPECT_EQ(&RWZone::standard(), &mine);
    EXPECT_EQ(RWZone::standard(previous), &mine);
}

}  // namespace

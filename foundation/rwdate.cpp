#include "foundation/rwdate.h"

#include "foundation/rwassert.h"

#include <cctype>
#include <climits>
#include <cstring>
#include <string_view>

#include "platform/clock.h"
#include "platform/path_util.h"

namespace {

constexpr long kOffset = 1721119;  // day number of 1 March of year 0, less one
constexpr unsigned char kMonthLength[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr std::uint32_t kDaysBefore[13] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

// Day number of a date in the full year given, without validation or two-digit mapping.
long rawDayNumber(long m, long d, long y) {
    long mm;
    if (m < 3) {
        mm = m + 9;
        y -= 1;
    } else {
        mm = m - 3;
    }
    const long c = y / 100;
    const long ya = y - 100 * c;
    return (146097 * c) / 4 + (1461 * ya) / 4 + (153 * mm + 2) / 5 + d + kOffset;
}

// Day number of 31 December of the year before a full year; the two-digit rule
// must not apply here, or year 100 would count from 1999.
long endOfPreviousYear(unsigned fullYear) {
    return rawDayNumber(12, 31, static_cast<long>(fullYear) - 1);
}

}  // namespace

unsigned RWJulianDate::isLeapYear(unsigned year) {
    return (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)) ? 1 : 0;
}

unsigned RWJulianDate::yearLength(unsigned year) {
    return isLeapYear(year) ? 366 : 365;
}

unsigned RWJulianDate::monthLength(unsigned month, unsigned year) {
    if (month < 1 || month > 12) return 0;
    return kMonthLength[month] + ((month == 2 && isLeapYear(year)) ? 1 : 0);
}

unsigned RWJulianDate::dayWithinMonth(unsigned month, unsigned day, unsigned year) {
    return (day >= 1 && month >= 1 && month <= 12 && day <= monthLength(month, year)) ? 1 : 0;
}

void RWJulianDate::split(jday julian, unsigned& month, unsigned& day, unsigned& year) {
    long j = static_cast<long>(julian) - kOffset;
    long y = (4 * j - 1) / 146097;
    j = 4 * j - 1 - 146097 * y;
    long d = j / 4;
    j = (4 * d + 3) / 1461;
    d = 4 * d + 3 - 1461 * j;
    d = (d + 4) / 4;
    long m = (5 * d - 3) / 153;
    d = 5 * d - 3 - 153 * m;
    d = (d + 5) / 5;
    y = 100 * y + j;
    if (m < 10) {
        m += 3;
    } else {
        m -= 9;
        y += 1;
    }
    month = static_cast<unsigned>(m);
    day = static_cast<unsigned>(d);
    year = static_cast<unsigned>(y);
}

unsigned RWJulianDate::dayNumber(unsigned month, unsigned day, unsigned year) {
    if (year <= 99) year += 1900;
    if (!dayWithinMonth(month, day, year)) return 0;
    const long j = rawDayNumber(month, day, year);
    if (j <= 0 || j > static_cast<long>(UINT32_MAX)) return 0;
    unsigned m, d, y;
    split(static_cast<jday>(j), m, d, y);
    return y == year ? static_cast<unsigned>(j) : 0;
}

RWJulianDate::RWJulianDate(unsigned dayOfYear, unsigned year) {
    long base;
    if (year == 0)
        base = 2415386;  // historical: day 1 of "year 0" is 2 January 1901
    else if (year <= 99)
        base = endOfPreviousYear(year + 1900);
    else
        base = endOfPreviousYear(year);
    julian_ = static_cast<jday>(dayOfYear + base);
}

RWJulianDate::RWJulianDate(unsigned day, unsigned month, unsigned year) : julian_(dayNumber(month, day, year)) {}

RWJulianDate::RWJulianDate(const struct tm* t)
    : julian_(t ? dayNumber(static_cast<unsigned>(t->tm_mon + 1), static_cast<unsigned>(t->tm_mday),
                            static_cast<unsigned>(t->tm_year + 1900))
                : 0) {}

RWJulianDate::RWJulianDate(unsigned day, const char* monthName, unsigned year, const RWDateLocale* locale) {
    const RWDateLocale& loc = locale ? *locale : RWDateLocale::c();
    const unsigned month = monthName ? loc.monthIndex(monthName) : 0;
    julian_ = month ? dayNumber(month, day, year) : 0;
}

RWJulianDate::RWJulianDate(std::time_t when, TimeConverter convert) {
    struct tm t {};
    if (convert && convert(when, &t)) *this = RWJulianDate(&t);
}

RWJulianDate RWJulianDate::now() {
    const std::time_t clock = std::time(nullptr);
    struct tm t {};
    if (!tessaro::platform::ToLocalTime(clock, t)) return RWJulianDate();
    return RWJulianDate(&t);
}

unsigned RWJulianDate::month() const {
    unsigned m, d, y;
    split(julian_, m, d, y);
    return m;
}

unsigned RWJulianDate::dayOfMonth() const {
    unsigned m, d, y;
    split(julian_, m, d, y);
    return d;
}

unsigned RWJulianDate::year() const {
    unsigned m, d, y;
    split(julian_, m, d, y);
    return y;
}

unsigned RWJulianDate::day() const {
    return static_cast<unsigned>(static_cast<long>(julian_) - endOfPreviousYear(year()));
}

unsigned RWJulianDate::monthStartDayOfYear(unsigned month) const {
    if (month < 1 || month > 12) return 0;
    unsigned start = kDaysBefore[month] + 1;
    if (month >= 3 && leap()) start += 1;
    return start;
}

RWJulianDate RWJulianDate::next(unsigned desiredDayOfWeek) const {
    RW_ASSERT(desiredDayOfWeek >= 1);
    RW_ASSERT(desiredDayOfWeek <= 7);
    return RWJulianDate(julian_ + (desiredDayOfWeek + 6 - weekDay()) % 7 + 1);
}

RWJulianDate RWJulianDate::previous(unsigned desiredDayOfWeek) const {
    RW_ASSERT(desiredDayOfWeek >= 1);
    RW_ASSERT(desiredDayOfWeek <= 7);
    return RWJulianDate(julian_ - ((weekDay() + 6 - desiredDayOfWeek) % 7 + 1));
}

RWJulianDate RWJulianDate::next(const char* weekdayName, const RWDateLocale* locale) const {
    const RWDateLocale& loc = locale ? *locale : RWDateLocale::c();
    const unsigned w = weekdayName ? loc.weekdayIndex(weekdayName) : 0;
    return w ? next(w) : RWJulianDate();
}

RWJulianDate RWJulianDate::previous(const char* weekdayName, const RWDateLocale* locale) const {
    const RWDateLocale& loc = locale ? *locale : RWDateLocale::c();
    const unsigned w = weekdayName ? loc.weekdayIndex(weekdayName) : 0;
    return w ? previous(w) : RWJulianDate();
}

int RWJulianDate::compareTo(const RWJulianDate* d) const {
    RW_ASSERT_MSG(d != 0, "(d!=0) != 0");
    if (julian_ == d->julian_) return 0;
    return julian_ > d->julian_ ? 1 : -1;
}

void RWJulianDate::extract(struct tm* t) const {
    if (!isValid()) {
        t->tm_sec = t->tm_min = t->tm_hour = INT_MIN;
        t->tm_mday = t->tm_mon = t->tm_year = INT_MIN;
        t->tm_wday = t->tm_yday = t->tm_isdst = INT_MIN;
        return;
    }
    unsigned m, d, y;
    split(julian_, m, d, y);
    t->tm_year = static_cast<int>(y) - 1900;
    t->tm_mon = static_cast<int>(m) - 1;
    t->tm_mday = static_cast<int>(d);
    t->tm_wday = static_cast<int>(weekDay() % 7);
    t->tm_yday = static_cast<int>(kDaysBefore[m] + d - 1 + ((m > 2 && isLeapYear(y)) ? 1 : 0));
    t->tm_hour = t->tm_min = t->tm_sec = 0;
    t->tm_isdst = -1;
}

std::string RWJulianDate::weekDayName(const RWDateLocale* locale) const {
    const RWDateLocale& loc = locale ? *locale : RWDateLocale::c();
    struct tm t {};
    t.tm_wday = static_cast<int>(weekDay() % 7);
    return loc.asString(&t, 'A');
}

std::string RWJulianDate::monthName(const RWDateLocale* locale) const {
    const RWDateLocale& loc = locale ? *locale : RWDateLocale::c();
    struct tm t {};
    t.tm_mon = static_cast<int>(month()) - 1;
    return loc.asString(&t, 'B');
}

namespace {
constexpr const char* kWeekdayNames[7] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
constexpr const char* kMonthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                         "July",    "August",   "September", "October", "November", "December"};

// Accepts the full name or its first three letters, without regard to case.
bool nameMatches(const char* name, const char* full) {
    const std::size_t n = std::strlen(name);
    if (n == 3) return tessaro::platform::EqualsNoCase(name, std::string_view(full).substr(0, 3));
    return tessaro::platform::EqualsNoCase(name, full);
}
}  // namespace

std::string RWDateLocale::asString(const struct tm* t, char letter) const {
    // Names for the C locale, independent of the process locale.
    if (letter == 'A' && t->tm_wday >= 0 && t->tm_wday <= 6) return kWeekdayNames[(t->tm_wday + 6) % 7];
    if (letter == 'B' && t->tm_mon >= 0 && t->tm_mon <= 11) return kMonthNames[t->tm_mon];
    return std::string();
}

unsigned RWDateLocale::monthIndex(const char* name) const {
    for (unsigned i = 0; i < 12; ++i)
        if (nameMatches(name, kMonthNames[i])) return i + 1;
    return 0;
}

unsigned RWDateLocale::weekdayIndex(const char* name) const {
    for (unsigned i = 0; i < 7; ++i)
        if (nameMatches(name, kWeekdayNames[i])) return i + 1;
    return 0;
}

const RWDateLocale& RWDateLocale::c() {
    static const RWDateLocale locale;
    return locale;
}

#pragma once
// Calendar date held as a Julian day number of the proleptic Gregorian calendar.

#include <cstdint>
#include <ctime>
#include <string>

class RWDateLocale;

class RWJulianDate {
public:
    using jday = std::uint32_t;

    // Static calendar arithmetic (months 1..12, weekdays 1 = Monday .. 7 = Sunday).
    static unsigned isLeapYear(unsigned year);
    static unsigned yearLength(unsigned year);
    static unsigned monthLength(unsigned month, unsigned year);
    static unsigned dayWithinMonth(unsigned month, unsigned day, unsigned year);
    // 0 for an invalid date; years 0..99 are taken in the 1900s.
    static unsigned dayNumber(unsigned month, unsigned day, unsigned year);

    RWJulianDate() = default;
    explicit RWJulianDate(jday julian) : julian_(julian) {}
    RWJulianDate(unsigned dayOfYear, unsigned year);
    RWJulianDate(unsigned day, unsigned month, unsigned year);
    explicit RWJulianDate(const struct tm* t);
    // Month or weekday names are resolved through the locale (the C locale when null).
    RWJulianDate(unsigned day, const char* monthName, unsigned year, const RWDateLocale* locale = nullptr);
    // The converter fills a calendar record from the time; an invalid date when it fails.
    using TimeConverter = bool (*)(std::time_t, struct tm*);
    RWJulianDate(std::time_t when, TimeConverter convert);
    static RWJulianDate now();

    jday julian() const { return julian_; }
    bool isValid() const { return julian_ > 0; }

    unsigned month() const;
    unsigned dayOfMonth() const;
    unsigned year() const;
    unsigned day() const;  // day of the year, 1-based
    unsigned monthStartDayOfYear(unsigned month) const;
    unsigned weekDay() const { return julian_ % 7 + 1; }
    unsigned leap() const { return isLeapYear(year()); }

    RWJulianDate next(unsigned weekday) const;
    RWJulianDate previous(unsigned weekday) const;
    RWJulianDate next(const char* weekdayName, const RWDateLocale* locale = nullptr) const;
    RWJulianDate previous(const char* weekdayName, const RWDateLocale* locale = nullptr) const;

    int compareTo(const RWJulianDate* other) const;
    RWJulianDate max(const RWJulianDate& other) const { return other.julian_ > julian_ ? other : *this; }
    RWJulianDate min(const RWJulianDate& other) const { return other.julian_ < julian_ ? other : *this; }
    unsigned hash() const { return julian_; }

    // Invalid dates fill every field with 0x80000000.
    void extract(struct tm* t) const;

    std::string weekDayName(const RWDateLocale* locale = nullptr) const;
    std::string monthName(const RWDateLocale* locale = nullptr) const;

    friend bool operator==(const RWJulianDate& a, const RWJulianDate& b) { return a.julian_ == b.julian_; }
    friend bool operator!=(const RWJulianDate& a, const RWJulianDate& b) { return a.julian_ != b.julian_; }
    friend bool operator<(const RWJulianDate& a, const RWJulianDate& b) { return a.julian_ < b.julian_; }
    friend bool operator>(const RWJulianDate& a, const RWJulianDate& b) { return a.julian_ > b.julian_; }
    friend bool operator<=(const RWJulianDate& a, const RWJulianDate& b) { return a.julian_ <= b.julian_; }
    friend bool operator>=(const RWJulianDate& a, const RWJulianDate& b) { return a.julian_ >= b.julian_; }
    friend RWJulianDate operator+(const RWJulianDate& d, long days) {
        return RWJulianDate(static_cast<jday>(d.julian_ + days));
    }
    friend RWJulianDate operator-(const RWJulianDate& d, long days) {
        return RWJulianDate(static_cast<jday>(d.julian_ - days));
    }
    friend long operator-(const RWJulianDate& a, const RWJulianDate& b) {
        return static_cast<long>(a.julian_) - static_cast<long>(b.julian_);
    }

    // Splits a day number into month, day and full year.
    static void split(jday julian, unsigned& month, unsigned& day, unsigned& year);

private:
    jday julian_ = 0;
};

// Names of weekdays and months for the name-based members; the default is the C locale.
class RWDateLocale {
public:
    virtual ~RWDateLocale() = default;
    // letter 'A' formats the weekday name (tm_wday), 'B' the month name (tm_mon).
    virtual std::string asString(const struct tm* t, char letter) const;
    // 1..12, or 0 when the name is unknown.
    virtual unsigned monthIndex(const char* name) const;
    // 1 = Monday .. 7 = Sunday, or 0 when the name is unknown.
    virtual unsigned weekdayIndex(const char* name) const;

    static const RWDateLocale& c();
};

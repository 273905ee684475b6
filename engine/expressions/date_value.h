// Date/time values of the expression language: a real number of days since
// 30 December 1899, the fraction being the time of day. Below zero the integer part
// counts days back while the fraction is still the time after midnight (-1.25 is
// 29 December 1899 06:00), so arithmetic goes through the linear time line.
#pragma once

#include <cstdint>
#include <string>

inline constexpr double kMinDateValue = -657434.0;  // 1 January 100 00:00
inline constexpr double kMaxDateValue = 2958465.0;  // 31 December 9999 00:00

// Calendar fields, rounded to the nearest second; every field -1 out of range.
struct DateFields {
    int year = -1;
    int month = -1;
    int day = -1;
    int hour = -1;
    int minute = -1;
    int second = -1;
    int dayOfWeek = -1;  // 1 = Sunday .. 7 = Saturday
    int dayOfYear = -1;  // 1 = 1 January
};

// The fields of the platform's system time record (day of week 0 = Sunday).
struct CSystemTime {
    std::uint16_t wYear = 0;
    std::uint16_t wMonth = 0;
    std::uint16_t wDayOfWeek = 0;
    std::uint16_t wDay = 0;
    std::uint16_t wHour = 0;
    std::uint16_t wMinute = 0;
    std::uint16_t wSecond = 0;
    std::uint16_t wMilliseconds = 0;
};

bool IsDateInRange(double value);
// False (and all fields -1) for a value out of range or not a number.
bool SplitDateValue(double value, DateFields& fields);
// False for an impossible calendar date or time, or a result out of range.
bool MakeDateValue(int year, int month, int day, int hour, int minute, int second, double& value);

// Days from 1 January 1970 of a date of the proleptic Gregorian calendar, for any year.
long DaysFromCivil(long year, int month, int day);
// The days of a month (1-12) of any year; 0 for another month number.
int CivilMonthLength(long year, int month);

// The position of a date value on the linear time line, and back.
double DateToLinear(double value);
double LinearToDate(double linear);
// date + span (days) on the linear time line; false when the sum leaves the range.
bool AddDateSpan(double date, double span, double& result);
// A span from its parts, as the platform's span type computes it.
double MakeDateSpan(long days, long hours, long minutes, long seconds);

// "{ts '%Y-%m-%d %H:%M:%S'}", "{d '%Y-%m-%d'}", "{t '%H:%M:%S'}"; empty out of range.
std::string FormatODBCTimestamp(double value);
std::string FormatODBCDate(double value);
std::string FormatODBCTime(double value);

// Text to date without an error: false when the text is no date (value untouched). A date
// that names no year takes the clock's (yearFromClock, when given, says so).
bool ParseDateValue(const char* text, double& value, bool* yearFromClock = nullptr);
// Text to date through the system's one date/time text parser (en-US order). A failure
// throws CExpressionException 0x4011 "Cannot convert %s to a date".
bool TextToDate(const char* text, double& value);
// The same, answering false instead of throwing; value is then untouched.
bool TryParseDate(const char* text, double& value);

// Fields into the system time record (milliseconds 0); all zero out of range.
void DateToSystemTime(double value, CSystemTime& time);

// Now, in local time.
double CurrentDateValue();

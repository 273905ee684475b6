#include "engine/expressions/date_value.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "engine/expressions/expression_exception.h"
#include "foundation/date_text_parser.h"
#include "platform/clock.h"
#include "support/timestamp_literal.h"

long DaysFromCivil(long y, int m, int d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int CivilMonthLength(long year, int month) {
    static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return kMonthDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

namespace {

constexpr double kHalfSecond = 1.0 / 172800.0;
constexpr long kSecondsPerDay = 86400;

void CivilFromDays(long z, long& y, int& m, int& d) {
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = yoe + era * 400;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y += m <= 2;
}

const long kEpochDays = DaysFromCivil(1899, 12, 30);

}  // namespace

bool IsDateInRange(double value) {
    return value >= kMinDateValue && value <= kMaxDateValue;
}

bool SplitDateValue(double value, DateFields& fields) {
    fields = DateFields();
    if (!IsDateInRange(value)) return false;
    const double rounded = value > 0 ? value + kHalfSecond : value - kHalfSecond;
    const double wholeDays = std::trunc(rounded);
    double fraction = std::fabs(rounded - wholeDays);
    long secondOfDay = static_cast<long>(fraction * kSecondsPerDay);
    if (secondOfDay >= kSecondsPerDay) secondOfDay = kSecondsPerDay - 1;
    const long dayNumber = static_cast<long>(wholeDays) + kEpochDays;
    long year;
    int month, day;
    CivilFromDays(dayNumber, year, month, day);
    fields.year = static_cast<int>(year);
    fields.month = month;
    fields.day = day;
    fields.hour = static_cast<int>(secondOfDay / 3600);
    fields.minute = static_cast<int>(secondOfDay / 60 % 60);
    fields.second = static_cast<int>(secondOfDay % 60);
    // 1970-01-01 was a Thursday (5 with Sunday = 1).
    long weekday = (dayNumber + 4) % 7;
    if (weekday < 0) weekday += 7;
    fields.dayOfWeek = static_cast<int>(weekday) + 1;
    fields.dayOfYear = static_cast<int>(dayNumber - DaysFromCivil(year, 1, 1)) + 1;
    return true;
}

bool MakeDateValue(int year, int month, int day, int hour, int minute, int second, double& value) {
    if (year < 100 || year > 9999 || day < 1 || day > CivilMonthLength(year, month)) return false;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return false;
    const long days = DaysFromCivil(year, month, day) - kEpochDays;
    const double fraction = (hour * 3600.0 + minute * 60.0 + second) / kSecondsPerDay;
    const double result = days >= 0 ? days + fraction : days - fraction;
    if (!IsDateInRange(result)) return false;
    value = result;
    return true;
}

double DateToLinear(double value) {
    const double whole = std::trunc(value);
    return whole + std::fabs(value - whole);
}

double LinearToDate(double linear) {
    const double whole = std::floor(linear);
    const double fraction = linear - whole;
    return whole >= 0 ? whole + fraction : whole - fraction;
}

bool AddDateSpan(double date, double span, double& result) {
    const double sum = LinearToDate(DateToLinear(date) + span);
    if (!IsDateInRange(sum)) return false;
    result = sum;
    return true;
}

double MakeDateSpan(long days, long hours, long minutes, long seconds) {
    return seconds * 1.1574074074074073e-5 + minutes * 0.0006944444444444445 + hours * 0.041666666666666664 +
           static_cast<double>(days);
}

std::string FormatODBCTimestamp(double value) {
    DateFields f;
    if (!SplitDateValue(value, f)) return std::string();
    return FormatTimestampLiteral(f.year, f.month, f.day, f.hour, f.minute, f.second);
}

std::string FormatODBCDate(double value) {
    DateFields f;
    if (!SplitDateValue(value, f)) return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "{d '%04d-%02d-%02d'}", f.year, f.month, f.day);
    return text;
}

std::string FormatODBCTime(double value) {
    DateFields f;
    if (!SplitDateValue(value, f)) return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "{t '%02d:%02d:%02d'}", f.hour, f.minute, f.second);
    return text;
}

bool ParseDateValue(const char* text, double& value, bool* yearFromClock) {
    // Every date or time has a number in it; plain words are answered without the parser.
    if (text == nullptr || std::strpbrk(text, "0123456789") == nullptr) return false;
    tessaro::foundation::ParsedDateTime parsed;
    double result = 0;
    if (!tessaro::foundation::TryParseDateText(text, parsed) ||
        !MakeDateValue(parsed.year, parsed.month, parsed.day, parsed.hour, parsed.minute, parsed.second, result))
        return false;
    value = result;
    if (yearFromClock != nullptr) *yearFromClock = parsed.yearFromClock;
    return true;
}

bool TextToDate(const char* text, double& value) {
    if (ParseDateValue(text, value)) return true;
    ThrowExpressionError(expr_code::kToDate,
                         CWebMessage("Cannot convert ") + std::string(text ? text : "") + " to a date");
}

bool TryParseDate(const char* text, double& value) {
    return ParseDateValue(text, value);
}

void DateToSystemTime(double value, CSystemTime& time) {
    time = CSystemTime();
    DateFields f;
    if (!SplitDateValue(value, f)) return;
    time.wYear = static_cast<std::uint16_t>(f.year);
    time.wMonth = static_cast<std::uint16_t>(f.month);
    time.wDayOfWeek = static_cast<std::uint16_t>(f.dayOfWeek - 1);
    time.wDay = static_cast<std::uint16_t>(f.day);
    time.wHour = static_cast<std::uint16_t>(f.hour);
    time.wMinute = static_cast<std::uint16_t>(f.minute);
    time.wSecond = static_cast<std::uint16_t>(f.second);
}

double CurrentDateValue() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    tessaro::platform::ToLocalTime(now, local);
    double value = 0;
    MakeDateValue(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                  local.tm_sec > 59 ? 59 : local.tm_sec, value);
    return value;
}

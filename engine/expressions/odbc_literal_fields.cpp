#include "engine/expressions/odbc_literal_fields.h"

namespace {

bool Digits(std::string_view text, std::size_t at, std::size_t count, int* value) {
    if (at + count > text.size()) return false;
    int v = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
    }
    *value = v;
    return true;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

bool IsOdbcDateText(std::string_view text) {
    int year, month, day;
    return text.size() == 10 && Digits(text, 0, 4, &year) && text[4] == '-' && Digits(text, 5, 2, &month) &&
           text[7] == '-' && Digits(text, 8, 2, &day) && year >= 1 && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, month);
}

bool IsOdbcTimeText(std::string_view text) {
    int hour, minute, second;
    return text.size() == 8 && Digits(text, 0, 2, &hour) && text[2] == ':' && Digits(text, 3, 2, &minute) &&
           text[5] == ':' && Digits(text, 6, 2, &second) && hour <= 23 && minute <= 59 && second <= 59;
}

bool IsOdbcTimestampText(std::string_view text) {
    if (text.size() < 19 || text[10] != ' ') return false;
    if (!IsOdbcDateText(text.substr(0, 10)) || !IsOdbcTimeText(text.substr(11, 8))) return false;
    if (text.size() == 19) return true;
    std::string_view fraction = text.substr(20);
    if (text[19] != '.' || fraction.empty() || fraction.size() > 9) return false;
    for (char c : fraction)
        if (c < '0' || c > '9') return false;
    return true;
}

// Reads dates and times as people type them in an en-US (or en-GB) setting:
// "3/4/1997", "1997-03-04", "March 3, 1997", "3 Mar 97", "Tuesday, March 4 1997",
// "15:30", "3:30:15 PM", "3 p.m.", and dates followed by times.
// The single parser behind form validation, cookie expiry and the date functions.
#pragma once

#include <string>

namespace tessaro::foundation {

enum class DateOrder {
    MonthDayYear,  // en-US: 3/4/1997 is 4 March
    DayMonthYear,  // en-GB: 3/4/1997 is 3 April
};

enum class DateTextParts {
    DateAndTime,  // either part or both; a missing part is 0 (time) or 30 Dec 1899 (date)
    DateOnly,     // a date is required; a time after it is read and dropped
    TimeOnly,     // a time is required; a date before it is read and dropped
};

struct ParsedDateTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    bool hasDate = false;
    bool hasTime = false;
    // The date named no year: the current one was taken.
    bool yearFromClock = false;
};

// False when the text is not a date/time of the wanted parts or names an
// impossible day or time. Two-digit years: 00-29 are 2000-2029, 30-99 are
// 1930-1999. A date without a year takes the current local year.
bool ParseDateText(const std::string& text, DateOrder order, DateTextParts parts, ParsedDateTime& result);

// en-US order, date and/or time.
inline bool TryParseDateText(const std::string& text, ParsedDateTime& result) {
    return ParseDateText(text, DateOrder::MonthDayYear, DateTextParts::DateAndTime, result);
}

int DaysInMonth(int year, int month);

}  // namespace tessaro::foundation

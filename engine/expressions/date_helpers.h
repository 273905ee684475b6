// Date-part specifiers, calendar arithmetic by months, part counts between dates, date
// and time mask translation, and the name and brace tests the evaluator shares with the
// template engine. Failures throw CExpressionException by pointer; nothing is logged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// "yyyy" 0, "q" 1, "m" 2, "ww" 3, "d" 4, "y" 5, "w" 6, "h" 7, "n" 8, "s" 9.
bool IsDatePartSpecifier(const char* text);
// Reads at most two characters; an unknown first character throws (code 0, empty text).
int DatePartCode(const char* text);

// The day span that moves the date by that many calendar months, the day clamped to the
// new month's length and the clock time kept; the span of a step past the valid years is
// counted on the same calendar. 0x4012 when the date itself is out of range.
double AddMonthsSpan(std::int32_t months, double date);
// The span DateAdd adds for a part code; an unknown code throws (code 0, empty text).
double DateAddSpan(int code, std::int32_t amount, double date);
// Signed count of whole calendar months from first to second.
std::int32_t MonthsBetween(double first, double second);
// Signed count of part units from first to second. The span is rounded to whole seconds
// before it is divided, so 23:00 to 01:00 is two hours; a count beyond 32 bits throws
// 0x4012.
std::int32_t DateDiffCount(int code, double first, double second);

// Masks of the expression language into pictures of the locale formatter, in which single
// quotes enclose literal text. An unclosed quote throws 0x400F "Invalid format mask".
std::string ConvertDateMask(const char* mask);
std::string ConvertTimeMask(const char* mask);

// True when the first character after leading white space is "{".
bool BeginsWithBrace(const char* text);
// Segments of a letter and then letters, digits or underscores, separated by single
// periods; a final period is allowed.
bool IsValidVariableName(const char* text);

void ZeroBuffer(void* buffer, std::size_t count);

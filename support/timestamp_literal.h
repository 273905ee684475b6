// The engine's time stamp, the ODBC literal "{ts 'YYYY-MM-DD HH:MM:SS'}": written into
// client variables (LASTVISIT, TIMECREATED), TSFILE results and converted form values, and
// compared as text by the client purge, which is why it has exactly one shape.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

// "{ts 'YYYY-MM-DD HH:MM:SS'}" with each field zero-padded.
std::string FormatTimestampLiteral(int year, int month, int day, int hour, int minute, int second);
// The same of a broken-down time (tm_year counts from 1900, tm_mon from 0).
std::string FormatTimestampLiteral(const std::tm& time);
// The same of the local time of `when`.
std::string LocalTimestampLiteral(std::time_t when);

// True for exactly "{ts 'dddd-dd-dd dd:dd:dd'}" (d a digit): the only form that sorts as
// a time when compared as text.
bool IsTimestampLiteral(std::string_view text);

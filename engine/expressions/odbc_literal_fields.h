// The quoted part of an ODBC date, time or time stamp literal, checked field by
// field: fixed widths, digits only, and numbers that name a real calendar day
// and clock time.
#pragma once

#include <string_view>

bool IsOdbcDateText(std::string_view text);       // YYYY-MM-DD
bool IsOdbcTimeText(std::string_view text);       // HH:MM:SS
bool IsOdbcTimestampText(std::string_view text);  // YYYY-MM-DD HH:MM:SS[.f...] (1 to 9 fraction digits)

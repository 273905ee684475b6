// Date and time pictures with the fixed English (United States) conventions, independent
// of the machine's locale:
//   d dd ddd dddd   day, two-digit day, Sun, Sunday (a longer run is dddd)
//   M MM MMM MMMM   month, two-digit month, Jan, January (a longer run is MMMM)
//   y               the last two digits of the year without a leading zero (2005 -> 5)
//   yy              the last two digits (05)
//   yyy yyyy ...    the four-digit year (every run of three or more)
//   g gg ...        the era, "A.D."
//   h hh / H HH     12-hour (0 -> 12) / 24-hour clock; a longer run is the two-digit form
//   m mm, s ss      minutes, seconds
//   t tt            "A"/"P", "AM"/"PM" (a longer run is tt)
// Text in single quotes is copied as it stands; two single quotes are one literal quote,
// inside or outside a quoted run. Every other character is copied.
#pragma once

#include <string>

#include "engine/expressions/date_value.h"

// The fields must be in range (SplitDateValue succeeded).
std::string FormatDatePicture(const DateFields& fields, const std::string& picture);

// The test that lets a variable value into SQL text with its single quotes unchanged: the
// whole value must be one ODBC date, time or time stamp literal such as
// "{ts '2000-01-01 00:00:00'}" (blanks around the parts allowed, case ignored, nothing but
// digits, blanks, ':', '.' and '-' between the quotes). Anything else, even a value that
// merely begins with "{", gets its quotes doubled.
#pragma once

#include <string_view>

bool IsWholeOdbcDateLiteral(std::string_view text);

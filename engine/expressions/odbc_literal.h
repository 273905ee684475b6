// The test that lets a variable value into SQL text with its single quotes unchanged: the
// whole value must be exactly one ODBC literal "{d 'YYYY-MM-DD'}", "{t 'HH:MM:SS'}" or
// "{ts 'YYYY-MM-DD HH:MM:SS[.fff]'}" with a real date and time (the keyword in either
// case, no other blanks). Anything else, however close, gets its quotes doubled: a
// looser test let a request value close the quote of the statement around it.
#pragma once

#include <string_view>

bool IsWholeOdbcDateLiteral(std::string_view text);

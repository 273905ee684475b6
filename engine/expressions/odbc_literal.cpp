#include "engine/expressions/odbc_literal.h"

#include <string>

#include "engine/expressions/odbc_literal_fields.h"
#include "platform/ascii_text.h"

bool IsWholeOdbcDateLiteral(std::string_view text) {
    std::size_t open = text.find(" '");
    if (text.size() < 4 || text.front() != '{' || text.substr(text.size() - 2) != "'}" ||
        open == std::string_view::npos)
        return false;
    if (open + 2 > text.size() - 2) return false;
    std::string_view keyword = text.substr(1, open - 1);
    std::string_view body = text.substr(open + 2, text.size() - open - 4);
    std::string lower;
    for (char c : keyword) lower += tessaro::platform::AsciiLower(c);
    if (lower == "d") return IsOdbcDateText(body);
    if (lower == "t") return IsOdbcTimeText(body);
    if (lower == "ts") return IsOdbcTimestampText(body);
    return false;
}

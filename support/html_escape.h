// Request text placed into generated HTML goes through this first.
#pragma once

#include <string>

// &, <, >, " and ' as character references.
std::string HtmlEscape(const std::string& text);

// The text of an HTML message for a plain-text log line: paragraph, line-break and list-item
// tags become blanks, every other tag goes, and the character references HtmlEscape writes
// (and &nbsp;) become their characters again.
std::string HtmlToPlainText(const std::string& html);

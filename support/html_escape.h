// Request text placed into generated HTML goes through this first.
#pragma once

#include <string>

// &, <, >, " and ' as character references.
std::string HtmlEscape(const std::string& text);

// The text of an HTML message for a plain-text log line: inline tags (B, I, FONT, A, ...) go,
// every other tag becomes a blank, and the character references HtmlEscape writes
// (and &nbsp;) become their characters again.
std::string HtmlToPlainText(const std::string& html);

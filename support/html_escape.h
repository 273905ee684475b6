// Request text placed into generated HTML goes through this first.
#pragma once

#include <string>

// Whether ' becomes a reference too. Pages whose text only ever sits between tags and in
// double-quoted attributes (the HDML error page, the print engine's report) keep it as is,
// so that their bytes stay what they always were.
enum class HtmlApostrophe { Escape, Keep };

// &, <, > and " (and ' unless kept) as character references.
std::string HtmlEscape(const std::string& text, HtmlApostrophe apostrophe = HtmlApostrophe::Escape);

// The text of an HTML message for a plain-text log line: inline tags (B, I, FONT, A, ...) go,
// every other tag becomes a blank, and the character references HtmlEscape writes
// (and &nbsp;) become their characters again.
std::string HtmlToPlainText(const std::string& html);

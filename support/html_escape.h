// Request text placed into generated HTML goes through this first.
#pragma once

#include <string>

// &, <, >, " and ' as character references.
std::string HtmlEscape(const std::string& text);

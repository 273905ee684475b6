// The rules of header lines that several tags and the Insert page share: a value loses its
// line breaks (TSHEADER, TSCONTENT, TSLOCATION, a mail section's header fields, the Insert
// page's redirect), and the header block stays within what a web server takes from a CGI
// program (TSHEADER, TSCOOKIE).
#pragma once

#include <cstddef>
#include <string>

#include "engine/server/request_budget.h"
#include "support/web_message.h"

// text without any CR or LF: what goes into one header line.
std::string RemoveLineBreaks(const std::string& text);

// The URL for the Location header: CR and LF removed.
std::string RedirectUrl(const std::string& url);

// Throws CWebException* with title when one line of block, or the headers so far and block
// together, pass the request budget's header bounds (the reply writer enforces them for
// every header; a tag that checks early is refused with its own title).
void CheckReplyHeaderSize(const std::string& headersSoFar, const std::string& block, const CWebMessage& title);

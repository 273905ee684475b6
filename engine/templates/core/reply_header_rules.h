// The rules of header lines that several tags and the Insert page share: a value loses its
// line breaks (TSHEADER, TSCONTENT, TSLOCATION, a mail section's header fields, the Insert
// page's redirect), and the header block stays within what a web server takes from a CGI
// program (TSHEADER, TSCOOKIE).
#pragma once

#include <cstddef>
#include <string>

#include "support/web_message.h"

// text without any CR or LF: what goes into one header line.
std::string RemoveLineBreaks(const std::string& text);

// The URL for the Location header: CR and LF removed.
std::string RedirectUrl(const std::string& url);

// What a web server takes from a CGI program: longer header lines, or more header
// bytes in all, make it answer with its own bad-gateway page instead of the reply.
constexpr std::size_t kMaxReplyHeaderLineBytes = 8000;
constexpr std::size_t kMaxReplyHeaderBytes = 32000;

// Throws CWebException* with title when one line of block passes
// kMaxReplyHeaderLineBytes, or the headers so far and block together pass
// kMaxReplyHeaderBytes; the tag is refused with the engine's error page.
void CheckReplyHeaderSize(const std::string& headersSoFar, const std::string& block, const CWebMessage& title);

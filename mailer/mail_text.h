// Text transformations of outgoing mail: the DATA stream's line ends and dots,
// and Base64 for attachments.
#pragma once

#include <string>

// The message text as it goes after DATA: every line end CR LF (bare CR and bare
// LF included), every line that begins with "." gets one more (RFC 5321 4.5.2),
// the text ends in CR LF, and the closing "." line follows.
std::string DataStream(const std::string& text);

// Base64 (the MIME alphabet) in lines of 72 characters, each ending in CR LF.
std::string Base64Lines(const std::string& bytes);

// True when the text holds a CR or LF (a header value that would add lines).
bool HasLineBreak(const std::string& text);

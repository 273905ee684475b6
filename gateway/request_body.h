#pragma once
// Request message 2: the body the web server writes to standard input.

#include <cstdint>
#include <string>

#include "gateway/error_page.h"

namespace ksml {

enum class BodyStatus {
    None,    // no CONTENT_TYPE, or a CONTENT_LENGTH of 0: nothing to send
    Read,    // body holds CONTENT_LENGTH bytes
    Failed,  // reported in errors
};

// Reads CONTENT_LENGTH bytes from fd, however many pieces the web server's pipe delivers
// them in. A length beyond maxBytes, a negative length, a read error or an early end of
// input is a failure with a clear message; nothing is allocated before the length is checked.
BodyStatus ReadRequestBody(int fd, const char* contentType, const char* contentLength, std::uint64_t maxBytes,
                           std::string& body, ErrorReport& errors);

// CONTENT_LENGTH as the C library's atol reads it (leading blanks, a sign, digits; the rest
// ignored; no digits -> 0). Returns false for a negative value; a value too large for 64 bits
// saturates.
bool ParseContentLength(const char* text, std::uint64_t& length);

}  // namespace ksml

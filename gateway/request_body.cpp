#include "gateway/request_body.h"

#include <algorithm>
#include <limits>
#include <new>

#include "platform/descriptor.h"
#include "platform/win32_error.h"

namespace ksml {

bool ParseContentLength(const char* text, std::uint64_t& length) {
    length = 0;
    if (!text) return true;
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v') ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    std::uint64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        unsigned digit = static_cast<unsigned>(*p - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10)
            value = std::numeric_limits<std::uint64_t>::max();
        else
            value = value * 10 + digit;
    }
    if (negative && value != 0) return false;
    length = value;
    return true;
}

BodyStatus ReadRequestBody(int fd, const char* contentType, const char* contentLength, std::uint64_t maxBytes,
                           std::string& body, ErrorReport& errors) {
    body.clear();
    std::uint64_t length = 0;
    if (!ParseContentLength(contentLength, length)) {
        errors.Add("The request declares a negative content length.", 0);
        return BodyStatus::Failed;
    }
    if (!contentType || length == 0) return BodyStatus::None;
    if (length > maxBytes) {
        errors.Add("The request body (" + std::to_string(length) + " bytes) is larger than this server accepts (" +
                       std::to_string(maxBytes) + " bytes).",
                   0);
        return BodyStatus::Failed;
    }
    // The buffer grows with the bytes that really arrive: a declared length alone
    // allocates nothing large.
    constexpr std::size_t kFirstChunk = 64 * 1024;
    const std::size_t total = static_cast<std::size_t>(length);
    std::size_t got = 0;
    while (got < total) {
        if (got == body.size()) {
            try {
                body.resize(got + std::min(total - got, std::max(got, kFirstChunk)));
            } catch (const std::bad_alloc&) {
                body.clear();
                errors.Add("Error attempting to allocate memory for content stream", 8);
                return BodyStatus::Failed;
            }
        }
        long n = tessaro::platform::ReadSome(fd, body.data() + got, body.size() - got);
        if (n < 0) {
            long number = tessaro::platform::Win32LastErrno();
            body.clear();
            errors.Add("Error attempting to read bytes from standard input", number);
            return BodyStatus::Failed;
        }
        if (n == 0) {
            // The client went away mid-upload; a cut body would only fail later as bad form data.
            errors.Add("Error attempting to read bytes from standard input (the request body ended after " +
                           std::to_string(got) + " of " + std::to_string(length) + " bytes).",
                       0);
            body.clear();
            return BodyStatus::Failed;
        }
        got += static_cast<std::size_t>(n);
    }
    return BodyStatus::Read;
}

}  // namespace ksml

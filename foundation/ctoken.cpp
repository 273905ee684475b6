#include "foundation/ctoken.h"

#include <cstring>

#include "foundation/rwassert.h"

RWCStringTokenizer::RWCStringTokenizer(const RWCString& s) : theString_(s), place_(0), started_(false) {}

RWCSubString RWCStringTokenizer::operator()(const char* ws) {
    // clang-format off
    RW_ASSERT(ws!=0);  // spelled so the report reads "(ws!=0) != 0"
    // clang-format on
    if (!started_) {
        started_ = true;
        place_ = 0;
    }
    const char* start = theString_.data();
    const std::size_t end = theString_.length();
    while (place_ < end) {
        const char* p = start + place_;
        std::size_t skip = std::strspn(p, ws);
        p += skip;
        std::size_t n = std::strcspn(p, ws);
        if (n > 0) {
            // strcspn stops at a NUL of the data; never run past the length.
            std::size_t at = static_cast<std::size_t>(p - start);
            if (at + n > end) n = end - at;
            place_ = at + n;
            return RWCSubString(theString_, at, n);
        }
        place_ = static_cast<std::size_t>(p - start) + 1;  // at a NUL byte of the data
    }
    place_ = end;
    return RWCSubString(theString_, RW_NPOS, 0);
}

RWCSubString RWCStringTokenizer::operator()(const char* ws, std::size_t n) {
    // clang-format off
    RW_ASSERT(ws!=0);  // spelled so the report reads "(ws!=0) != 0"
    // clang-format on
    if (!started_) {
        started_ = true;
        place_ = 0;
    }
    const char* data = theString_.data();
    const std::size_t end = theString_.length();
    auto isDelim = [&](char c) { return std::memchr(ws, c, n) != nullptr; };
    while (place_ < end && isDelim(data[place_])) ++place_;
    std::size_t at = place_;
    while (place_ < end && !isDelim(data[place_])) ++place_;
    if (place_ > at) return RWCSubString(theString_, at, place_ - at);
    return RWCSubString(theString_, RW_NPOS, 0);
}

RWCSubString RWCStringTokenizer::operator()() {
    return (*this)(" \t\n");
}

#pragma once

#include <cstddef>

#include "foundation/cstring.h"

// Splits a string into tokens separated by runs of delimiter characters. Tokens are
// views of the tokenizer's own copy of the string and stay valid while it lives.
class RWCStringTokenizer {
public:
    explicit RWCStringTokenizer(const RWCString& s);

    // The next token, or the null substring when there are no more. Delimiters are a
    // NUL-terminated set (a NUL byte in the data is stepped over).
    RWCSubString operator()(const char* ws);
    // The set is the first n bytes of ws and may contain NUL.
    RWCSubString operator()(const char* ws, std::size_t n);
    // Space, horizontal tab and line feed.
    RWCSubString operator()();

private:
    RWCString theString_;
    // Offset of the current place, kept as an offset so that edits made through a
    // returned token cannot leave it dangling.
    std::size_t place_;
    bool started_;
};

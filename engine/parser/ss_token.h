#pragma once
// A lexeme: token number, text, and where it starts.

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/parser/ss_ref.h"

class SSToken : public SSRef {
public:
    // `narrow` is 1 for text from an 8-bit source, 0 for 16-bit units.
    SSToken(std::uint32_t token, const char* bytes, std::size_t length, long line, long offset, int narrow = 1);

    std::uint32_t token() const { return token_; }
    void setToken(std::uint32_t token) { token_ = token; }
    // The lexeme's bytes followed by a 16-bit zero.
    const char* text() const { return text_.c_str(); }
    std::size_t length() const { return length_; }
    std::string_view view() const { return std::string_view(text_.data(), length_); }
    long line() const { return line_; }
    long offset() const { return offset_; }
    int narrow() const { return narrow_; }

private:
    std::uint32_t token_;
    std::string text_;
    std::size_t length_;
    long line_;
    long offset_;
    int narrow_;
};

// ASCII case and blanks: the names, keywords and protocol words of the system fold A-Z and
// nothing else, whatever the locale (a byte of UTF-8 text is never changed).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tessaro::platform {

inline char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
inline char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = AsciiUpper(c);
    return out;
}
inline std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = AsciiLower(c);
    return out;
}

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

// Blank, tab, CR, LF, VT and FF.
inline constexpr std::string_view kAsciiSpaces = " \t\r\n\v\f";

// text without the characters of blanks at its ends (or at its end only).
inline std::string_view TrimAscii(std::string_view text, std::string_view blanks = kAsciiSpaces) {
    const std::size_t start = text.find_first_not_of(blanks);
    if (start == std::string_view::npos) return {};
    return text.substr(start, text.find_last_not_of(blanks) - start + 1);
}
inline std::string_view TrimAsciiRight(std::string_view text, std::string_view blanks = kAsciiSpaces) {
    const std::size_t end = text.find_last_not_of(blanks);
    return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

}  // namespace tessaro::platform

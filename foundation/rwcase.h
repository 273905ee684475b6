#pragma once

// Fixed single-byte case mapping (Windows-1252 letters) and ASCII classification, so
// that results never depend on the process locale.

namespace rwcase {

unsigned char toLower(unsigned char c);
unsigned char toUpper(unsigned char c);

inline char toLower(char c) {
    return static_cast<char>(toLower(static_cast<unsigned char>(c)));
}
inline char toUpper(char c) {
    return static_cast<char>(toUpper(static_cast<unsigned char>(c)));
}

// C-locale character classes: only 7-bit bytes belong to any class.
inline bool isUpper(unsigned char c) {
    return c >= 'A' && c <= 'Z';
}
inline bool isLower(unsigned char c) {
    return c >= 'a' && c <= 'z';
}
inline bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}
inline bool isAlpha(unsigned char c) {
    return isUpper(c) || isLower(c);
}
inline bool isBlank(unsigned char c) {
    return c == ' ' || c == '\t';
}
inline bool isSpace(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
inline bool isPunct(unsigned char c) {
    return c > ' ' && c < 0x7F && !isAlpha(c) && !isDigit(c);
}

}  // namespace rwcase

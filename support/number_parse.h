// Number and boolean parsing of settings and form values.
#pragma once

#include <string>

// Trimmed text holding exactly one number and nothing else: true and the value
// (truncated towards zero for ParseNumber; out-of-range values are false).
bool ParseNumber(const std::string& text, long& value);
bool ParseReal(const std::string& text, double& value);

enum ParsedBoolean { BOOLEAN_TRUE = 1, BOOLEAN_FALSE = 2, BOOLEAN_INVALID = 3 };
// "TRUE", "YES", "-1", "ON", "1" -> 1; "FALSE", "NO", "OFF", "0" -> 2; else 3
// (upper-cased and trimmed first).
int ParseBoolean(const std::string& text);

// Two hex characters to a byte; each digit is clamped to 0..15 ("ZZ" = 0xFF).
// Reads exactly two characters: the caller guarantees they exist.
unsigned char HexPairToByte(const char* twoChars);

// The C run-time text-to-integer rule of a 32-bit long: leading blanks, optional
// sign, digits; 0 when the text does not start with a number; out-of-range values
// saturate at -2147483648 / 2147483647, as settings are 32-bit numbers.
long AsciiToLong(const std::string& text);

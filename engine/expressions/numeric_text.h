// Number texts of the expression language, independent of the C locale: the decimal
// syntax [blanks][sign]digits[.digits][(e|E)[sign]digits] (".5" and "5." included), no
// "inf", "nan" or hexadecimal forms, and no trailing characters.
#pragma once

#include <cstdint>
#include <string>

// False for a text that is not such a number or whose value overflows a double.
bool ParseDecimalText(const char* text, double& value);
// The longest such number at the start of text (trailing characters allowed, an exponent
// letter without digits left behind): the end of it, or null with value 0 when the text
// does not start with a number or its value is out of a double's range.
const char* ScanDecimalPrefix(const char* text, double& value);

// A real as "%.12G" prints it in the C locale ("1E+300", "0.333333333333", "INF", "NAN").
std::string FormatReal(double value);
// An integer in decimal.
std::string FormatInteger(std::int32_t value);

// Real to integer: truncated toward zero to 64 bits, the low 32 bits kept; 0 for NaN or a
// value outside the 64-bit range.
std::int32_t TruncateToInt32(double value);

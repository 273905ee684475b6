#include "engine/expressions/numeric_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "foundation/rwcase.h"

namespace {
bool IsDigit(char c) {
    return rwcase::isDigit(static_cast<unsigned char>(c));
}
bool IsBlank(char c) {
    return rwcase::isSpace(static_cast<unsigned char>(c));
}
}  // namespace

const char* ScanDecimalPrefix(const char* text, double& value) {
    value = 0;
    if (text == nullptr) return nullptr;
    const char* p = text;
    while (IsBlank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    const char* number = p;
    std::size_t digits = 0;
    while (IsDigit(*p)) ++p, ++digits;
    if (*p == '.') {
        ++p;
        while (IsDigit(*p)) ++p, ++digits;
    }
    if (digits == 0) return nullptr;
    if (*p == 'e' || *p == 'E') {
        const char* exponent = p + 1;
        if (*exponent == '+' || *exponent == '-') ++exponent;
        if (IsDigit(*exponent)) {
            while (IsDigit(*exponent)) ++exponent;
            p = exponent;
        }
    }
    double parsed = 0;
    const auto result = std::from_chars(number, p, parsed, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != p || !std::isfinite(parsed)) return nullptr;
    value = negative ? -parsed : parsed;
    return p;
}

bool ParseDecimalText(const char* text, double& value) {
    double parsed = 0;
    const char* end = ScanDecimalPrefix(text, parsed);
    // An exponent letter without digits is part of no number.
    if (end == nullptr || *end != '\0') return false;
    value = parsed;
    return true;
}

// The digits of "%.12G" without the C library: std::to_chars keeps the same significant
// digits and exponent form but never looks at the locale's decimal point.
std::string FormatReal(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 12);
    if (result.ec != std::errc()) return std::string();
    std::string out(text, result.ptr);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string FormatInteger(std::int32_t value) {
    char text[16];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::int32_t TruncateToInt32(double value) {
    if (std::isnan(value)) return 0;
    const double truncated = std::trunc(value);
    if (truncated < -9223372036854775808.0 || truncated >= 9223372036854775808.0) return 0;
    const auto wide = static_cast<std::int64_t>(truncated);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(wide)));
}

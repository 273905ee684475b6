#include "support/number_parse.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "support/text_helpers.h"

namespace {

// The "%lf%c" rule: one number and nothing after it. strtod takes the same forms
// scanf's %lf does.
bool ScanSingleReal(const std::string& text, double& value) {
    std::string t = TrimmedCopy(text);
    if (t.empty()) return false;
    const char* start = t.c_str();
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(start, &end);
    if (end == start || *end != '\0') return false;
    value = v;
    return true;
}

}  // namespace

bool ParseReal(const std::string& text, double& value) {
    double v = 0;
    if (!ScanSingleReal(text, v)) return false;
    value = v;
    return true;
}

bool ParseNumber(const std::string& text, long& value) {
    double v = 0;
    if (!ScanSingleReal(text, v) || !std::isfinite(v)) return false;
    double truncated = std::trunc(v);
    // A value outside long's range would be undefined to convert.
    if (truncated < static_cast<double>(LONG_MIN) || truncated >= static_cast<double>(LONG_MAX)) return false;
    value = static_cast<long>(truncated);
    return true;
}

int ParseBoolean(const std::string& text) {
    std::string t = UpperCopy(TrimmedCopy(text));
    if (t == "TRUE" || t == "YES" || t == "-1" || t == "ON" || t == "1") return BOOLEAN_TRUE;
    if (t == "FALSE" || t == "NO" || t == "OFF" || t == "0") return BOOLEAN_FALSE;
    return BOOLEAN_INVALID;
}

unsigned char HexPairToByte(const char* twoChars) {
    auto digit = [](char c) {
        int u = (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : static_cast<unsigned char>(c);
        int d = u - '0';
        if (d > 9) d -= 7;
        if (d < 0) d = 0;
        if (d > 15) d = 15;
        return d;
    };
    return static_cast<unsigned char>(digit(twoChars[0]) * 16 + digit(twoChars[1]));
}

long AsciiToLong(const std::string& text) {
    constexpr long kMax = 2147483647L, kMin = -2147483647L - 1;
    const char* p = text.c_str();
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    long value = 0;  // magnitude, kept below kMax + 2
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > kMax + 1) value = kMax + 1;
    }
    if (negative) return value > kMax ? kMin : -value;
    return value > kMax ? kMax : value;
}

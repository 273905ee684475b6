#include "engine/expressions/number_patterns.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace {

// Integer digits with a comma before every further group of three.
std::string Grouped(const std::string& digits) {
    std::string out;
    out.reserve(digits.size() + digits.size() / 3);
    const std::size_t n = digits.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (i != 0 && (n - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

struct FixedParts {
    bool negative = false;
    std::string integer;   // at least one digit
    std::string fraction;  // exactly the decimals asked for
};

FixedParts Split(double value, int decimals) {
    FixedParts parts;
    std::string text = FixedPointText(value, decimals);
    if (!text.empty() && text[0] == '-') {
        parts.negative = true;
        text.erase(0, 1);
    }
    const std::size_t point = text.find('.');
    parts.integer = text.substr(0, point);
    if (point != std::string::npos) parts.fraction = text.substr(point + 1);
    return parts;
}

}  // namespace

std::string FixedPointText(double value, int decimals) {
    // The longest finite double needs 309 integer digits; grow instead of guessing.
    std::string buffer(400 + static_cast<std::size_t>(decimals), '\0');
    for (;;) {
        const auto result =
            std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, decimals);
        if (result.ec == std::errc()) {
            buffer.resize(static_cast<std::size_t>(result.ptr - buffer.data()));
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string FormatWholeNumberPattern(double value) {
    // A negative value takes the second section with its own "-"; a negative zero keeps the
    // sign the fixed-point text gives it, as the pattern's digit copy does.
    const FixedParts parts = Split(std::fabs(value), 0);
    const bool negative = value < 0 || std::signbit(value);
    return (negative ? "-" : "") + Grouped(parts.integer);
}

std::string FormatDecimalNumberPattern(double value) {
    const double magnitude = std::fabs(value);
    const FixedParts parts = Split(magnitude, 2);
    // A negative zero keeps its sign, as in NumberFormat: -0 gives "-0.00".
    std::string out = value < 0 || std::signbit(value) ? "-" : "";
    // The leading zero of a pure fraction is dropped; a fraction that rounds up to 1 keeps
    // its digit.
    const bool pureFraction = magnitude > 0 && magnitude < 1 && parts.integer == "0";
    if (!pureFraction) out += Grouped(parts.integer);
    out += '.';
    out += parts.fraction;
    return out;
}

// A negative zero is "$0.00": the pattern's digit copy would write "$-0.00", a sign that is
// neither of the two forms the amounts take (negatives stand in parentheses).
std::string FormatDollarNumberPattern(double value) {
    const FixedParts parts = Split(std::fabs(value), 2);
    const std::string body = "$" + Grouped(parts.integer) + "." + parts.fraction;
    return value < 0 ? "(" + body + ")" : body;
}

#include "support/timestamp_literal.h"

#include <cstdio>

#include "platform/clock.h"

std::string FormatTimestampLiteral(int year, int month, int day, int hour, int minute, int second) {
    char text[96];
    std::snprintf(text, sizeof text, "{ts '%04d-%02d-%02d %02d:%02d:%02d'}", year, month, day, hour, minute, second);
    return text;
}

std::string FormatTimestampLiteral(const std::tm& time) {
    return FormatTimestampLiteral(time.tm_year + 1900, time.tm_mon + 1, time.tm_mday, time.tm_hour, time.tm_min,
                                  time.tm_sec);
}

std::string LocalTimestampLiteral(std::time_t when) {
    std::tm local{};
    tessaro::platform::ToLocalTime(when, local);
    return FormatTimestampLiteral(local);
}

bool IsTimestampLiteral(std::string_view text) {
    static constexpr std::string_view kPattern = "{ts 'dddd-dd-dd dd:dd:dd'}";
    if (text.size() != kPattern.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kPattern[i] == 'd' ? !digit : text[i] != kPattern[i]) return false;
    }
    return true;
}

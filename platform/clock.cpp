#include "platform/clock.h"

#include <time.h>

namespace tessaro::platform {

bool ToLocalTime(std::time_t when, std::tm& out) {
    std::tm converted{};
    if (localtime_r(&when, &converted) == nullptr) return false;
    out = converted;
    return true;
}

bool ToUniversalTime(std::time_t when, std::tm& out) {
    std::tm converted{};
    if (gmtime_r(&when, &converted) == nullptr) return false;
    out = converted;
    return true;
}

std::string FormatLocalTime(std::time_t when, const char* format) {
    std::tm local{};
    ToLocalTime(when, local);
    char text[256];
    std::size_t length = std::strftime(text, sizeof text, format, &local);
    return std::string(text, length);
}

std::string FormatLocalTimeNow(const char* format) {
    return FormatLocalTime(std::time(nullptr), format);
}

std::int64_t MonotonicMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

WallClockTime WallClockNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return {static_cast<std::int64_t>(now.tv_sec), static_cast<long>(now.tv_nsec)};
}

}  // namespace tessaro::platform

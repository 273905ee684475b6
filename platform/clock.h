// The calendar and the clocks. Code above the platform reads the time through these
// alone, so that the rest of the system never holds a thread-unsafe or POSIX-only call.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace tessaro::platform {

// The broken-down local time (or UTC) of `when`; false, with `out` untouched, when the
// moment cannot be represented.
bool ToLocalTime(std::time_t when, std::tm& out);
bool ToUniversalTime(std::time_t when, std::tm& out);

// strftime of the local time of `when` (of now); empty when the result would be longer
// than 255 characters.
std::string FormatLocalTime(std::time_t when, const char* format);
std::string FormatLocalTimeNow(const char* format);

// Milliseconds of a clock that never goes back, for deadlines and durations.
std::int64_t MonotonicMilliseconds();

// The wall clock now: seconds since 1970 and the nanoseconds within that second.
struct WallClockTime {
    std::int64_t seconds = 0;
    long nanoseconds = 0;
};
WallClockTime WallClockNow();

}  // namespace tessaro::platform

// The calendar and the clocks of platform/clock.h.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/clock.h"
#include "platform/process_environment.h"

namespace plat = tessaro::platform;

TEST(Clock, ConvertsAMomentToUtcAndLocalTime) {
    std::tm utc{};
    ASSERT_TRUE(plat::ToUniversalTime(1000000000, utc));
    EXPECT_EQ(utc.tm_year + 1900, 2001);
    EXPECT_EQ(utc.tm_mon + 1, 9);
    EXPECT_EQ(utc.tm_mday, 9);
    EXPECT_EQ(utc.tm_hour, 1);
    EXPECT_EQ(utc.tm_min, 46);
    EXPECT_EQ(utc.tm_sec, 40);

    std::tm local{};
    ASSERT_TRUE(plat::ToLocalTime(1000000000, local));
    char expected[64];
    std::strftime(expected, sizeof expected, "%Y-%m-%d %H:%M:%S", &local);
    EXPECT_EQ(plat::FormatLocalTime(1000000000, "%Y-%m-%d %H:%M:%S"), expected);
    EXPECT_EQ(plat::FormatLocalTimeNow("%Y").size(), 4u);
}

TEST(Clock, MonotonicClockNeverGoesBackAndWallClockIsNow) {
    const std::int64_t first = plat::MonotonicMilliseconds();
    EXPECT_GE(plat::MonotonicMilliseconds(), first);
    const plat::WallClockTime now = plat::WallClockNow();
    EXPECT_LE(std::llabs(now.seconds - static_cast<std::int64_t>(std::time(nullptr))), 2);
    EXPECT_GE(now.nanoseconds, 0);
    EXPECT_LT(now.nanoseconds, 1000000000);
}

TEST(ProcessEnvironment, SetsAndReplacesAValue) {
    ASSERT_EQ(plat::SetEnvironmentValue("TESSARO_CLOCK_TEST", "one"), 0);
    ASSERT_EQ(plat::SetEnvironmentValue("TESSARO_CLOCK_TEST", "two"), 0);
    EXPECT_STREQ(std::getenv("TESSARO_CLOCK_TEST"), "two");
    EXPECT_NE(plat::SetEnvironmentValue("", "x"), 0);
}

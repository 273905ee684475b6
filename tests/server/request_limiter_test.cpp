#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/registry.h"
#include "engine/server/request_limiter.h"
#include "tests/common/server_test_home.h"

class RequestLimiterTest : public ServerTestHome {};

TEST_F(RequestLimiterTest, ReadsItsSettingsWithDefaults) {
    auto root = OpenTessaroRootKey();
    CRegistrySettings settings(root.get());
    RequestLimiter defaults(&settings);
    EXPECT_TRUE(defaults.IsEnabled());
    EXPECT_EQ(defaults.GetMaxRequests(), 15);
    EXPECT_EQ(defaults.GetWaitMilliseconds(), 60000);

    SetValue("Server", "LimitRequests", "0");
    RequestLimiter off(&settings);
    EXPECT_FALSE(off.IsEnabled());
    EXPECT_FALSE(off.HasSemaphore());
    for (int i = 0; i < 50; ++i) EXPECT_TRUE(off.Acquire());

    SetValue("Server", "LimitRequests", "1");
    SetValue("Server", "MaxRequests", "-4");
    SetValue("Server", "MaxSeconds", "abc");
    RequestLimiter bounded(&settings);
    EXPECT_EQ(bounded.GetMaxRequests(), 15);
    EXPECT_EQ(bounded.GetWaitMilliseconds(), 0);
}

TEST_F(RequestLimiterTest, TimesOutWithTheWarningAndCountsActiveRequests) {
    RequestLimiter limiter(true, 1, 0);
    {
        RequestLimiterGuard first(&limiter);
        ASSERT_TRUE(first.Acquired());
        EXPECT_EQ(limiter.GetActiveCount(), 1);
        RequestLimiterGuard second(&limiter);
        EXPECT_FALSE(second.Acquired());
    }
    EXPECT_EQ(limiter.GetActiveCount(), 0);
    EXPECT_NE(ReadLog().find("\"Warning\",\"TID="), std::string::npos);
    EXPECT_NE(ReadLog().find("Timed out while waiting for thread semaphore (1 requests are active)"),
              std::string::npos);
    RequestLimiterGuard again(&limiter);
    EXPECT_TRUE(again.Acquired());
}

TEST_F(RequestLimiterTest, ErrorReportKeepsTheLimit) {
    RequestLimiter limiter(true, 2, 1);
    limiter.ReportLimiterError("waiting for request semaphore (WAIT_FAILED)", 6);
    EXPECT_NE(ReadLog().find("Unexpected Windows NT error number 6 occured while waiting for request semaphore "
                             "(WAIT_FAILED). 0 requests were active when the error occurred."),
              std::string::npos);
    EXPECT_TRUE(limiter.IsEnabled());
}

TEST_F(RequestLimiterTest, AWaitGivenUpEndsWithoutAPermitOrTheWarning) {
    RequestLimiter limiter(true, 1, 30);
    ASSERT_TRUE(limiter.Acquire());
    int asked = 0;
    const auto start = std::chrono::steady_clock::now();
    RequestLimiterGuard waiting(&limiter, [&asked] { return ++asked >= 3; });
    EXPECT_FALSE(waiting.Acquired());
    EXPECT_EQ(asked, 3);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(limiter.GetActiveCount(), 1);
    EXPECT_EQ(ReadLog().find("Timed out while waiting"), std::string::npos);
    // A wait that is not given up gets the permit as soon as it is free.
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        limiter.Release();
    });
    RequestLimiterGuard next(&limiter, [] { return false; });
    release.join();
    EXPECT_TRUE(next.Acquired());
}

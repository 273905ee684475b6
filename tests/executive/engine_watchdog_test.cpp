#include "executive/engine_watchdog.h"

#include <gtest/gtest.h>

#include "executive_test_home.h"
#include "platform/event_log.h"

namespace {

TEST(WatchdogInterval, KeepsBetweenAFloorAndTheCap) {
    struct Case {
        long configured;
        std::uint32_t expected;
    } cases[] = {{100, 100}, {250, 250}, {500, 500}, {10000, 500}, {2000, 500},
                 {0, 500},   {-7, 500},  {1, 100},   {99, 100}};
    for (const Case& c : cases) EXPECT_EQ(WatchdogInterval(c.configured), c.expected) << c.configured;
}

class WatchdogTest : public ExecutiveHomeTest {
protected:
    CEngineWatchdog Make() {
        return CEngineWatchdog(*settings, [this] {
            ++starts;
            return nextResult;
        });
    }
    int starts = 0;
    long nextResult = 0;
};

TEST_F(WatchdogTest, LeavesTheEngineAloneWhileItShouldNotRun) {
    settings->Set("Server", "CheckInterval", "100");
    CEngineWatchdog watchdog = Make();
    EXPECT_EQ(watchdog.GetInterval(), 100u);
    EXPECT_EQ(watchdog.Check(), 100u);
    settings->Set("Server", "ServiceRunning", "0");
    EXPECT_EQ(watchdog.Check(), 100u);
    EXPECT_EQ(starts, 0);
}

TEST_F(WatchdogTest, StartsTheEngineWhileItShouldRunAndLogsOnlyRealFailures) {
    settings->Set("Server", "ServiceRunning", "1");
    CEngineWatchdog watchdog = Make();
    EXPECT_EQ(watchdog.Check(), 500u);
    EXPECT_NE(Log("TSEXEC").find("The service 'Brendlow Tessaro 2.0' was started again."), std::string::npos);
    nextResult = kEngineAlreadyRunning;
    EXPECT_EQ(watchdog.Check(), 500u);
    nextResult = kShutdownInProgress;
    EXPECT_EQ(watchdog.Check(), 500u);
    EXPECT_EQ(starts, 3);
    EXPECT_EQ(Log("TSEXEC").find("Unexpected"), std::string::npos);
}

TEST_F(WatchdogTest, AStartThatKeepsFailingBacksOffAndLogsEachTime) {
    settings->Set("Server", "ServiceRunning", "1");
    settings->Set("Server", "CheckInterval", "200");
    CEngineWatchdog watchdog = Make();
    nextResult = 1060;
    EXPECT_EQ(watchdog.Check(), 400u);
    EXPECT_EQ(watchdog.Check(), 800u);
    for (int i = 0; i < 20; ++i) watchdog.Check();
    EXPECT_EQ(watchdog.Check(), CEngineWatchdog::kLongestBackOff);
    std::string log = Log("TSEXEC");
    EXPECT_NE(log.find("\"Error\""), std::string::npos);
    EXPECT_NE(log.find("Unexpected Windows NT error number 1060 occurred while attempting to start the service."),
              std::string::npos);
    nextResult = 0;
    EXPECT_EQ(watchdog.Check(), 200u);
    nextResult = kEngineAlreadyRunning;
    EXPECT_EQ(watchdog.Check(), 200u);
}

TEST_F(WatchdogTest, ReportsGoToTheEventLogToo) {
    settings->Set("Server", "ServiceRunning", "1");
    CEngineWatchdog watchdog = Make();
    nextResult = 5;
    watchdog.Check();
    bool found = false;
    for (const auto& e : tessaro::platform::ReadEventLogFile())
        if (e.source == "Tessaro Executive" && e.type == "Error" && !e.strings.empty() &&
            e.strings[0].find("error number 5 ") != std::string::npos)
            found = true;
    EXPECT_TRUE(found);
}

}  // namespace

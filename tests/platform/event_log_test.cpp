#include "platform/event_log.h"
#include "tests/common/temp_home.h"

using namespace tessaro::platform;

namespace {

class EventLogTest : public TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        unsetenv("TESSARO_EVENTLOG");
    }
};

TEST_F(EventLogTest, EventsAreAppendedAsQuotedLines) {
    EventSourceHandle source = RegisterEventSource(nullptr, "Tessaro");
    ASSERT_NE(source, nullptr);
    ASSERT_TRUE(ReportEvent(source, EVENTLOG_ERROR_TYPE, 0, 0, {"a \"quoted\"\nline"}));
    ASSERT_TRUE(ReportEvent(source, EVENTLOG_WARNING_TYPE, 3, 42, {"one", "two"}));
    EXPECT_TRUE(DeregisterEventSource(source));
    EXPECT_EQ(EventLogFilePath(), home() + "/log/EVENTLOG.LOG");

    std::vector<EventRecord> records = ReadEventLogFile();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].type, "Error");
    EXPECT_EQ(records[0].source, "Tessaro");
    EXPECT_EQ(records[0].strings, std::vector<std::string>{"a \"quoted\" line"});
    EXPECT_EQ(records[0].date.size(), 8u);
    EXPECT_EQ(records[1].type, "Warning");
    EXPECT_EQ(records[1].category, 3);
    EXPECT_EQ(records[1].eventId, 42u);
    EXPECT_EQ(records[1].strings, (std::vector<std::string>{"one", "two"}));
}

TEST_F(EventLogTest, SyslogBackendLeavesTheFileAlone) {
    setenv("TESSARO_EVENTLOG", "syslog", 1);
    EventSourceHandle source = RegisterEventSource("", "Tessaro");
    ASSERT_NE(source, nullptr);
    EXPECT_TRUE(ReportEvent(source, EVENTLOG_ERROR_TYPE, 0, 0, {"to syslog"}));
    DeregisterEventSource(source);
    unsetenv("TESSARO_EVENTLOG");
    EXPECT_TRUE(ReadEventLogFile().empty());
}

TEST_F(EventLogTest, OtherMachinesAreNotReachable) {
    EXPECT_EQ(RegisterEventSource("\\\\ELSEWHERE", "Tessaro"), nullptr);
    EXPECT_FALSE(ReportEvent(nullptr, EVENTLOG_ERROR_TYPE, 0, 0, {}));
}

}  // namespace

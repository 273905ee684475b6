#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "platform/named_event.h"
#include "platform/named_mutex.h"
#include "platform/win32_error.h"
#include "tests/common/temp_home.h"

using namespace tessaro::platform;

namespace {

class NamedEventTest : public TempHomeTest {};

TEST_F(NamedEventTest, SettingAnEventNobodyHoldsGivesFileNotFound) {
    EXPECT_EQ(NamedEvent::Set("TSTerminationEvent20"), ERROR_FILE_NOT_FOUND);
    // A FIFO left behind by a holder that is gone: still nobody to read it.
    ASSERT_EQ(mkfifo(NamedEvent::PathOf("Stale").c_str(), 0620), 0);
    EXPECT_EQ(NamedEvent::Set("Stale"), ERROR_FILE_NOT_FOUND);
}

TEST_F(NamedEventTest, SetWakesTheWaiterAndStaysSetUntilReset) {
    long err = -1;
    auto event = NamedEvent::Create("TSTerminationEvent20", &err);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(err, ERROR_SUCCESS);
    EXPECT_FALSE(event->Wait(0));
    std::thread setter([] { EXPECT_EQ(NamedEvent::Set("TSTerminationEvent20"), ERROR_SUCCESS); });
    EXPECT_TRUE(event->Wait(kWaitInfinite));
    setter.join();
    EXPECT_TRUE(event->Wait(0));  // manual reset: still set
    event->Reset();
    EXPECT_FALSE(event->Wait(10));
    EXPECT_EQ(event->Set(), ERROR_SUCCESS);
    EXPECT_TRUE(event->Wait(0));
}

TEST_F(NamedEventTest, ToolSetsTheEventFromAnotherProcess) {
    auto event = NamedEvent::Create("Tool Event");
    ASSERT_NE(event, nullptr);
    std::string tool = std::string(TESSARO_BINARY_DIR) + "/bin/tsevent";
    std::string command = "'" + tool + "' set 'Tool Event'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_TRUE(event->Wait(kWaitInfinite));
    event.reset();
    EXPECT_NE(std::system(command.c_str()), 0);
}

TEST_F(NamedEventTest, OverlongNamesAreRefusedNotCut) {
    long err = 0;
    EXPECT_EQ(NamedEvent::Create(std::string(201, 'e'), &err), nullptr);
    EXPECT_EQ(err, ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(NamedEvent::Set(std::string(201, 'e')), ERROR_FILENAME_EXCED_RANGE);
    NamedMutexLock lock;
    EXPECT_EQ(lock.Acquire(std::string(201, 'm'), 0), ERROR_FILENAME_EXCED_RANGE);
    EXPECT_NE(NamedEvent::Create(std::string(200, 'e')), nullptr);
}

TEST_F(NamedEventTest, NamesCannotLeaveTheEventFolder) {
    EXPECT_EQ(NamedEvent::PathOf("..\\..\\x/y"), home() + "/run/EVENT/.._.._x_y");
    auto event = NamedEvent::Create("a/b");
    ASSERT_NE(event, nullptr);
    struct stat st;
    EXPECT_EQ(stat((home() + "/run/EVENT/a_b").c_str(), &st), 0);
}

}  // namespace

// Random bytes, process and thread ids, and the one-byte completion signal.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <thread>
#include <unistd.h>

#include "platform/descriptor.h"
#include "platform/process_ids.h"
#include "platform/random_bytes.h"

using namespace tessaro::platform;

TEST(RandomBytesTest, FillsEveryByteAndNeverRepeats) {
    std::set<std::string> seen;
    for (int i = 0; i < 8; ++i) {
        unsigned char buffer[64];
        std::memset(buffer, 0, sizeof buffer);
        ASSERT_TRUE(FillRandomBytes(buffer, sizeof buffer));
        seen.insert(std::string(reinterpret_cast<char*>(buffer), sizeof buffer));
    }
    EXPECT_EQ(seen.size(), 8u);
    EXPECT_TRUE(FillRandomBytes(nullptr, 0));
}

TEST(ProcessIdsTest, ThreadsHaveTheirOwnIdsAndTheMainThreadThePids) {
    EXPECT_EQ(CurrentProcessId(), static_cast<long>(::getpid()));
    long other = 0;
    std::thread([&] { other = CurrentThreadId(); }).join();
    EXPECT_GT(other, 0);
    EXPECT_NE(other, CurrentThreadId());
}

TEST(DescriptorTest, SignalAndCloseWakesTheReaderWithOneByteThenEnd) {
    int readEnd = -1, writeEnd = -1;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd));
    EXPECT_EQ(WaitForInput(readEnd, 0), InputWait::TimedOut);
    SignalAndClose(writeEnd);
    EXPECT_EQ(WaitForInput(readEnd, 1000), InputWait::Ready);
    char buffer[4];
    EXPECT_EQ(ReadSome(readEnd, buffer, sizeof buffer), 1);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(ReadSome(readEnd, buffer, sizeof buffer), 0);
    CloseDescriptor(readEnd);
    SignalAndClose(-1);  // nothing to signal: no effect
    CloseDescriptor(-1);
}

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "platform/win32_error.h"

using namespace tessaro::platform;

TEST(Win32ErrorTest, ErrnoMapsToTheWindowsNumbers) {
    struct Case {
        int errnoValue;
        long expected;
    } cases[] = {
        {0, 0},       {ENOENT, 2},   {EACCES, 5},  {EPERM, 5},        {ENOMEM, 8},
        {EEXIST, 80}, {ENOSPC, 112}, {EPIPE, 109}, {ECONNRESET, 109}, {EAGAIN, 231},
        {EMFILE, 4},  {EBADF, 6},    {EINVAL, 87}, {ENOTEMPTY, 145},  {EXDEV, EXDEV},
    };
    for (const Case& c : cases) EXPECT_EQ(Win32ErrorFromErrno(c.errnoValue), c.expected) << c.errnoValue;
}

TEST(Win32ErrorTest, LastErrorIsPerThread) {
    SetLastError(1722);
    long other = -1;
    std::thread([&] { other = GetLastError(); }).join();
    EXPECT_EQ(other, 0);
    EXPECT_EQ(GetLastError(), 1722);
}

TEST(Win32ErrorTest, MessageKeepsTheWindowsWording) {
    EXPECT_EQ(WindowsErrorText(2), "Windows NT error number 2 occurred");
}

// Calls made to fail on purpose through the system call table: interrupted and short
// reads and writes must still move every byte, a full disk under the registry store must
// leave what it held, a process out of descriptors must go on accepting, and a random
// source that cannot be read must give no name another could guess.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/file_ops.h"
#include "platform/pipe_frame.h"
#include "platform/random_bytes.h"
#include "platform/registry_store.h"
#include "platform/request_socket.h"
#include "platform/system_calls.h"
#include "platform/win32_error.h"
#include "tests/common/temp_home.h"

using namespace tessaro::platform;

namespace {

// Counts the calls a fake has seen; each test starts it afresh.
std::atomic<int> g_calls{0};
std::atomic<int> g_failure{0};  // the errno the failing fakes set

// Every other call is interrupted; the others move at most three bytes.
ssize_t InterruptedShortWrite(int fd, const void* data, size_t n) {
    if (g_calls++ % 2 == 0) {
        errno = EINTR;
        return -1;
    }
    return SystemCalls().write.Real()(fd, data, n < 3 ? n : 3);
}
ssize_t InterruptedShortSend(int fd, const void* data, size_t n, int flags) {
    if (g_calls++ % 2 == 0) {
        errno = EINTR;
        return -1;
    }
    return SystemCalls().send.Real()(fd, data, n < 3 ? n : 3, flags);
}
ssize_t InterruptedShortRead(int fd, void* data, size_t n) {
    if (g_calls++ % 2 == 0) {
        errno = EINTR;
        return -1;
    }
    return SystemCalls().read.Real()(fd, data, n < 2 ? n : 2);
}
ssize_t FailingWrite(int, const void*, size_t) {
    errno = g_failure.load();
    return -1;
}
ssize_t FailingPwrite(int, const void*, size_t, off_t) {
    errno = g_failure.load();
    return -1;
}
// The first two accepts find the process out of descriptors.
int ExhaustedAccept(int fd, sockaddr* address, socklen_t* length, int flags) {
    if (g_calls++ < 2) {
        errno = EMFILE;
        return -1;
    }
    return SystemCalls().accept4.Real()(fd, address, length, flags);
}

// Every other call is interrupted; the others give one byte, 0xA5.
ssize_t InterruptedShortRandom(void* buffer, size_t n, unsigned) {
    if (g_calls++ % 2 == 0) {
        errno = EINTR;
        return -1;
    }
    if (n == 0) return 0;
    static_cast<unsigned char*>(buffer)[0] = 0xA5;
    return 1;
}
ssize_t FailingRandom(void*, size_t, unsigned) {
    errno = g_failure.load();
    return -1;
}

class SystemCallFaultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_calls = 0;
        g_failure = 0;
    }
};

std::string Payload() {
    std::string text;
    for (int i = 0; i < 700; ++i) text += static_cast<char>('a' + i % 26);
    return text;
}

}  // namespace

TEST_F(SystemCallFaultsTest, AScopedRowIsPutBackAndLeavesTheOthersAlone) {
    auto& calls = SystemCalls();
    EXPECT_STREQ(calls.write.Name(), "write");
    {
        ScopedSystemCall fail(calls.write, &FailingWrite);
        EXPECT_NE(calls.write.Current(), calls.write.Real());
        EXPECT_EQ(calls.read.Current(), calls.read.Real());
    }
    EXPECT_EQ(calls.write.Current(), calls.write.Real());
}

// Pipes and sockets alike: the whole frame arrives though each call is interrupted or short.
TEST_F(SystemCallFaultsTest, FramesCrossInterruptedAndShortCallsWhole) {
    const std::string text = Payload();
    for (bool socket : {false, true}) {
        int ends[2];
        if (socket)
            ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        else
            ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
        const int readEnd = ends[0], writeEnd = ends[1];
        PipeReadResult got;
        {
            ScopedSystemCall write(SystemCalls().write, &InterruptedShortWrite);
            ScopedSystemCall send(SystemCalls().send, &InterruptedShortSend);
            ScopedSystemCall read(SystemCalls().read, &InterruptedShortRead);
            std::thread writer([&] { EXPECT_TRUE(WritePipeMessage(writeEnd, text)); });
            got = ReadPipeFrame(readEnd);
            writer.join();
        }
        EXPECT_EQ(got.status, PipeReadStatus::Ok) << "socket " << socket;
        EXPECT_EQ(got.payload, text) << "socket " << socket;
        EXPECT_GT(g_calls.load(), 100);  // the fakes did cut the transfer up
        ::close(readEnd);
        ::close(writeEnd);
        g_calls = 0;
    }
}

TEST_F(SystemCallFaultsTest, WriteAllNamesTheFailureAsAWindowsNumber) {
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    const struct {
        int failure;
        long expected;
    } cases[] = {{ENOSPC, ERROR_DISK_FULL}, {EIO, ERROR_IO_DEVICE}, {EPIPE, ERROR_BROKEN_PIPE}};
    for (const auto& c : cases) {
        g_failure = c.failure;
        ScopedSystemCall fail(SystemCalls().write, &FailingWrite);
        EXPECT_EQ(WriteAll(ends[1], "x", 1), c.expected) << c.failure;
        EXPECT_EQ(Win32LastErrno(), c.expected);
    }
    EXPECT_EQ(WriteAll(ends[1], "ok", 2), ERROR_SUCCESS);
    char back[2];
    EXPECT_EQ(::read(ends[0], back, 2), 2);  // nothing of the failed writes arrived
    EXPECT_EQ(std::string(back, 2), "ok");
    ::close(ends[0]);
    ::close(ends[1]);
}

// A disk that fills (or fails) while the store writes: the write is refused with the disk's
// reason, what the store held before is intact, and it takes writes again once there is room.
TEST_F(SystemCallFaultsTest, TheRegistryStoreKeepsItsValuesWhenTheDiskFails) {
    tessaro::test::TempHome home;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Faults", &key), ERROR_SUCCESS);
    ASSERT_EQ(RegSetString(key, "Kept", "before"), ERROR_SUCCESS);
    const std::string large(200000, 'z');  // more than the store keeps in memory
    for (int failure : {ENOSPC, EIO}) {
        g_failure = failure;
        long refused;
        {
            ScopedSystemCall write(SystemCalls().write, &FailingWrite);
            ScopedSystemCall pwrite(SystemCalls().pwrite, &FailingPwrite);
            refused = RegRunTransaction(key, [&] {
                long err = RegSetString(key, "Kept", "during");
                return err != ERROR_SUCCESS ? err : RegSetString(key, "Large", large);
            });
        }
        EXPECT_NE(refused, ERROR_SUCCESS) << failure;
        if (failure == ENOSPC) {
            EXPECT_EQ(refused, ERROR_DISK_FULL);
        }
        std::uint32_t type = 0;
        std::string data;
        ASSERT_EQ(RegQueryValue(key, "Kept", &type, &data), ERROR_SUCCESS) << failure;
        EXPECT_EQ(data.c_str(), std::string("before")) << failure;
        EXPECT_EQ(RegQueryValue(key, "Large", &type, &data), ERROR_FILE_NOT_FOUND) << failure;
    }
    EXPECT_EQ(RegSetString(key, "Large", large), ERROR_SUCCESS);
    std::uint32_t type = 0;
    std::string data;
    EXPECT_EQ(RegQueryValue(key, "Large", &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(data.c_str(), large);
    RegCloseKey(key);
}

// Out of descriptors at accept: the connection waits in the queue and is taken once the
// process has descriptors again.
TEST_F(SystemCallFaultsTest, AcceptOutOfDescriptorsIsExhaustedThenAccepts) {
    tessaro::test::TempHome home;
    const std::string path = home.path() + "/faults.sock";
    long error = 0;
    int listenFd = ListenOnRequestSocket(path, &error);
    ASSERT_GE(listenFd, 0) << error;
    int gateway = -1;
    ASSERT_EQ(ConnectRequestSocket(path, &gateway, &error), ConnectStatus::Connected) << error;
    ScopedSystemCall accept(SystemCalls().accept4, &ExhaustedAccept);
    int client = -1;
    EXPECT_EQ(AcceptRequestConnection(listenFd, 1000, &client, &error), AcceptStatus::Exhausted);
    EXPECT_EQ(AcceptRequestConnection(listenFd, 1000, &client, &error), AcceptStatus::Exhausted);
    ASSERT_EQ(AcceptRequestConnection(listenFd, 1000, &client, &error), AcceptStatus::Accepted);
    EXPECT_TRUE(WritePipeMessage(gateway, "hello"));
    EXPECT_EQ(ReadPipeFrame(client).payload, "hello");
    ::close(client);
    ::close(gateway);
    CloseRequestSocket(listenFd, path);
}

// A random source that is interrupted or gives a byte at a time still fills the whole
// buffer, and a unique file's name gets all its random characters.
TEST_F(SystemCallFaultsTest, RandomBytesCrossInterruptedAndShortReadsWhole) {
    tessaro::test::TempHome home;
    unsigned char bytes[16] = {};
    std::string path;
    {
        ScopedSystemCall random(SystemCalls().getrandom, &InterruptedShortRandom);
        ASSERT_TRUE(FillRandomBytes(bytes, sizeof bytes));
        ASSERT_EQ(CreateUniqueFileIn(home.path(), "tmp", {}, &path), ERROR_SUCCESS);
    }
    for (unsigned char byte : bytes) EXPECT_EQ(byte, 0xA5);
    const std::string name = std::filesystem::path(path).filename().string();
    EXPECT_EQ(name.size(), 3u + 6u) << name;
    EXPECT_TRUE(std::filesystem::is_regular_file(path)) << path;
}

// A random source that cannot be read makes the call fail with its reason: no file is made
// under a name others could guess (the prefix alone), and no bytes are handed out.
TEST_F(SystemCallFaultsTest, ARandomSourceThatFailsHandsOutNoGuessableName) {
    tessaro::test::TempHome home;
    const std::string folder = home.path() + "/unique";
    std::filesystem::create_directory(folder);
    for (int failure : {EIO, ENOSYS}) {
        g_failure = failure;
        ScopedSystemCall random(SystemCalls().getrandom, &FailingRandom);
        unsigned char bytes[8];
        EXPECT_FALSE(FillRandomBytes(bytes, sizeof bytes)) << failure;
        std::string path = "unchanged";
        const long refused = CreateUniqueFileIn(folder, "tmp", {}, &path);
        EXPECT_NE(refused, ERROR_SUCCESS) << failure;
        EXPECT_EQ(refused, Win32ErrorFromErrno(failure)) << failure;
        EXPECT_EQ(path, "") << failure;
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

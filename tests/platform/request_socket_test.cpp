#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "platform/descriptor.h"
#include "platform/pipe_frame.h"
#include "platform/request_socket.h"
#include "platform/win32_error.h"
#include "tests/common/temp_home.h"

using namespace tessaro::platform;

namespace {

class RequestSocketTest : public TempHomeTest {
protected:
    void TearDown() override {
        CloseRequestSocket(listenFd_, path_);
        CloseDescriptor(lockFd_);
        TempHomeTest::TearDown();
    }
    // Locks and listens on the socket below the test's runtime root.
    void Listen() {
        path_ = RequestSocketPath();
        long error = 0;
        ASSERT_TRUE(LockRequestSocket(path_, &lockFd_, &error)) << error;
        listenFd_ = ListenOnRequestSocket(path_, &error);
        ASSERT_GE(listenFd_, 0) << error;
    }
    int Accept() {
        int client = -1;
        long error = 0;
        for (int i = 0; i < 50 && client < 0; ++i) AcceptRequestConnection(listenFd_, 100, &client, &error);
        return client;
    }
    std::string path_;
    int lockFd_ = -1;
    int listenFd_ = -1;
};

struct Descriptor {
    explicit Descriptor(int f = -1) : fd(f) {}
    ~Descriptor() { CloseDescriptor(fd); }
    int fd;
};

}  // namespace

TEST_F(RequestSocketTest, PathLiesBelowTheRuntimeRoot) {
    EXPECT_EQ(RequestSocketPath(), home() + "/run/PIPE/Tessaro/StubToServer20");
}

TEST_F(RequestSocketTest, FramesTravelBothWaysOverOneConnection) {
    Listen();
    struct stat st {};
    ASSERT_EQ(::stat(path_.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0660u);

    Descriptor gateway;
    long error = 0;
    ASSERT_EQ(ConnectRequestSocket(path_, &gateway.fd, &error), ConnectStatus::Connected) << error;
    Descriptor engine(Accept());
    ASSERT_GE(engine.fd, 0);

    const std::string request = std::string("REQUEST\0with nul", 16);
    ASSERT_TRUE(WritePipeMessage(gateway.fd, request));
    PipeReadResult in = ReadPipeFrame(engine.fd, 1 << 20, 5000);
    ASSERT_EQ(in.status, PipeReadStatus::Ok);
    EXPECT_EQ(in.payload, request);

    ASSERT_TRUE(WritePipeMessage(engine.fd, "reply"));
    ASSERT_TRUE(WritePipeMessage(engine.fd, ""));
    ASSERT_TRUE(WritePipeDisconnect(engine.fd));
    ShutdownSending(engine.fd);
    PipeReadResult a = ReadPipeFrame(gateway.fd);
    PipeReadResult b = ReadPipeFrame(gateway.fd);
    PipeReadResult c = ReadPipeFrame(gateway.fd);
    PipeReadResult end = ReadPipeFrame(gateway.fd);
    EXPECT_EQ(a.payload, "reply");
    EXPECT_EQ(b.status, PipeReadStatus::Ok);
    EXPECT_EQ(b.payload, "");
    EXPECT_EQ(c.kind, PipeFrameKind::Disconnect);
    EXPECT_EQ(end.status, PipeReadStatus::Eof);
}

TEST_F(RequestSocketTest, SecondServerFindsTheSocketBusy) {
    Listen();
    int otherLock = -1;
    long error = 0;
    EXPECT_FALSE(LockRequestSocket(path_, &otherLock, &error));
    EXPECT_EQ(error, ERROR_PIPE_BUSY);
    CloseDescriptor(otherLock);
}

TEST_F(RequestSocketTest, ConnectWithoutListenerReportsMissing) {
    Descriptor fd;
    long error = 0;
    EXPECT_EQ(ConnectRequestSocket(RequestSocketPath(), &fd.fd, &error), ConnectStatus::Missing);
    EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(fd.fd, -1);
}

TEST_F(RequestSocketTest, ClosingRemovesTheSocketAndClientsSeeItMissing) {
    Listen();
    CloseRequestSocket(listenFd_, path_);
    listenFd_ = -1;
    EXPECT_NE(::access(path_.c_str(), F_OK), 0);
    Descriptor fd;
    long error = 0;
    EXPECT_EQ(ConnectRequestSocket(path_, &fd.fd, &error), ConnectStatus::Missing);
}

TEST_F(RequestSocketTest, PathsTooLongForASocketAreRefusedOnBothSides) {
    const std::string path = home() + "/" + std::string(200, 'p');
    long error = 0;
    EXPECT_EQ(ListenOnRequestSocket(path, &error), -1);
    EXPECT_EQ(error, ERROR_FILENAME_EXCED_RANGE);
    int fd = -1;
    error = 0;
    EXPECT_EQ(ConnectRequestSocket(path, &fd, &error), ConnectStatus::Failed);
    EXPECT_EQ(error, ERROR_FILENAME_EXCED_RANGE);
}

TEST_F(RequestSocketTest, AcceptWithoutCallerIsIdle) {
    Listen();
    int client = -1;
    long error = 0;
    EXPECT_EQ(AcceptRequestConnection(listenFd_, 20, &client, &error), AcceptStatus::Idle);
    EXPECT_EQ(client, -1);
}

TEST_F(RequestSocketTest, ShutdownWakesAWaitingAccept) {
    Listen();
    std::thread stopper([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ShutdownSocket(listenFd_);
    });
    int client = -1;
    long error = 0;
    AcceptStatus status = AcceptRequestConnection(listenFd_, 10000, &client, &error);
    stopper.join();
    EXPECT_NE(status, AcceptStatus::Accepted);
    EXPECT_NE(status, AcceptStatus::Idle);
}

TEST_F(RequestSocketTest, ReceiveTimeoutEndsASilentReadAsBusy) {
    // The gateway tells a reply that never came from a broken connection by this error.
    Listen();
    Descriptor gateway;
    long error = 0;
    ASSERT_EQ(ConnectRequestSocket(path_, &gateway.fd, &error), ConnectStatus::Connected);
    Descriptor engine(Accept());
    SetReceiveTimeout(gateway.fd, 100);
    auto start = std::chrono::steady_clock::now();
    PipeReadResult r = ReadPipeFrame(gateway.fd);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(r.status, PipeReadStatus::Error);
    EXPECT_EQ(r.errorNumber, ERROR_PIPE_BUSY);
}

TEST_F(RequestSocketTest, WaitForInputSeesDataAndSilence) {
    Listen();
    Descriptor gateway;
    long error = 0;
    ASSERT_EQ(ConnectRequestSocket(path_, &gateway.fd, &error), ConnectStatus::Connected);
    Descriptor engine(Accept());
    EXPECT_EQ(WaitForInput(engine.fd, 0), InputWait::TimedOut);
    ASSERT_TRUE(WritePipeMessage(gateway.fd, "x"));
    EXPECT_EQ(WaitForInput(engine.fd, 5000), InputWait::Ready);
}

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "platform/pipe_frame.h"

using namespace tessaro::platform;

namespace {

struct SocketPair {
    SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fd), 0); }
    ~SocketPair() {
        for (int f : fd)
            if (f >= 0) ::close(f);
    }
    void CloseWriter() {
        ::close(fd[0]);
        fd[0] = -1;
    }
    int fd[2] = {-1, -1};
};

}  // namespace

TEST(PipeFrameTest, MessagesKeepTheirBoundariesWhateverTheirSize) {
    SocketPair s;
    std::string big(3 * 1024 * 1024 + 7, 'z');
    big[100] = '\0';
    std::thread writer([&] {
        EXPECT_TRUE(WritePipeMessage(s.fd[0], "env"));
        EXPECT_TRUE(WritePipeMessage(s.fd[0], ""));
        EXPECT_TRUE(WritePipeMessage(s.fd[0], big));
        EXPECT_TRUE(WritePipeDisconnect(s.fd[0]));
    });
    std::vector<std::string> got;
    for (int i = 0; i < 3; ++i) {
        auto r = ReadPipeFrame(s.fd[1]);
        ASSERT_EQ(r.status, PipeReadStatus::Ok);
        EXPECT_EQ(r.kind, PipeFrameKind::Message);
        got.push_back(r.payload);
    }
    auto end = ReadPipeFrame(s.fd[1]);
    writer.join();
    EXPECT_EQ(got[0], "env");
    EXPECT_EQ(got[1], "");
    EXPECT_EQ(got[2], big);
    EXPECT_EQ(end.status, PipeReadStatus::Ok);
    EXPECT_EQ(end.kind, PipeFrameKind::Disconnect);
}

TEST(PipeFrameTest, HeaderIsLittleEndianKindThenLength) {
    SocketPair s;
    ASSERT_TRUE(WritePipeMessage(s.fd[0], "ab"));
    unsigned char raw[10];
    ASSERT_EQ(ReadFully(s.fd[1], raw, sizeof raw), 10);
    const unsigned char expected[10] = {1, 0, 0, 0, 2, 0, 0, 0, 'a', 'b'};
    EXPECT_EQ(std::memcmp(raw, expected, sizeof raw), 0);
}

TEST(PipeFrameTest, FailuresAreReportedNotHidden) {
    {
        SocketPair s;
        s.CloseWriter();
        auto r = ReadPipeFrame(s.fd[1]);
        EXPECT_EQ(r.status, PipeReadStatus::Eof);
        EXPECT_EQ(r.errorNumber, 109);
    }
    {
        SocketPair s;
        const unsigned char partial[] = {1, 0, 0, 0, 9, 0, 0, 0, 'x'};
        ASSERT_TRUE(WriteFully(s.fd[0], partial, sizeof partial));
        s.CloseWriter();
        EXPECT_EQ(ReadPipeFrame(s.fd[1]).status, PipeReadStatus::Eof);
    }
    {
        SocketPair s;
        ASSERT_TRUE(WritePipeMessage(s.fd[0], std::string(100, 'q')));
        EXPECT_EQ(ReadPipeFrame(s.fd[1], 99).status, PipeReadStatus::TooLarge);
    }
    {
        SocketPair s;
        const unsigned char bad[] = {7, 0, 0, 0, 0, 0, 0, 0};
        ASSERT_TRUE(WriteFully(s.fd[0], bad, sizeof bad));
        EXPECT_EQ(ReadPipeFrame(s.fd[1]).status, PipeReadStatus::BadKind);
    }
}

TEST(PipeFrameTest, WritingToAVanishedPeerFailsWithoutASignal) {
    SocketPair s;
    ::close(s.fd[1]);
    s.fd[1] = -1;
    EXPECT_FALSE(WritePipeMessage(s.fd[0], std::string(10000, 'x')));
    EXPECT_EQ(errno, EPIPE);
}

TEST(PipeFrameTest, AStallMidFrameEndsTheReadWhileSteadyProgressDoesNot) {
    // A peer that stops sending mid-frame: the read ends after the stall bound,
    // long before the frame's overall deadline.
    for (std::size_t sent : {std::size_t{0}, std::size_t{3}, std::size_t{8}, std::size_t{10}}) {
        SocketPair s;
        std::string frame = std::string("\x01\0\0\0\x05\0\0\0", 8) + "hello";
        ASSERT_EQ(::write(s.fd[0], frame.data(), sent), static_cast<ssize_t>(sent));
        auto start = std::chrono::steady_clock::now();
        PipeReadResult r = ReadPipeFrame(s.fd[1], 100, 60000, 200);
        EXPECT_EQ(r.status, PipeReadStatus::TimedOut) << sent;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30)) << sent;
    }
    // A slow but steady peer: each byte comes well within the stall bound.
    SocketPair s;
    std::thread writer([&] {
        std::string frame = std::string("\x01\0\0\0\x05\0\0\0", 8) + "hello";
        for (char c : frame) {
            EXPECT_EQ(::write(s.fd[0], &c, 1), 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    PipeReadResult r = ReadPipeFrame(s.fd[1], 100, 60000, 2000);
    writer.join();
    EXPECT_EQ(r.status, PipeReadStatus::Ok);
    EXPECT_EQ(r.payload, "hello");
}

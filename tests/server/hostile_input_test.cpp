// Hostile and malformed requests sent straight to the engine's socket: each gets
// an answer or a closed connection, and the engine goes on serving others.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <functional>
#include <future>
#include <sys/socket.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>

#include "support/byte_buffer.h"
#include "engine/server/copy_data_intake.h"
#include "engine/server/echo_page.h"
#include "engine/server/pipe_listener.h"
#include "engine/server/reply_channel.h"
#include "engine/server/reply_writer.h"
#include "engine/server/request_limiter.h"
#include "engine/server/request_reader.h"
#include "engine/server/request_worker.h"
#include "support/web_exception.h"
#include "listener_home.h"
#include "pipe_test_client.h"
#include "platform/pipe_frame.h"
#include "request_test_support.h"
#include "tests/common/file_text.h"
#include "tests/common/server_test_home.h"

namespace {

namespace plat = tessaro::platform;

std::string FrameHeader(std::uint32_t kind, std::uint32_t length) {
    std::string h(8, '\0');
    for (int i = 0; i < 4; ++i) {
        h[i] = static_cast<char>(kind >> (8 * i));
        h[4 + i] = static_cast<char>(length >> (8 * i));
    }
    return h;
}

std::string Frame(const std::string& payload) {
    return FrameHeader(1, static_cast<std::uint32_t>(payload.size())) + payload;
}

// A client that never waits forever: a broken engine fails the test instead of hanging it.
int ConnectBounded(const std::string& path) {
    int fd = ConnectPipe(path);
    if (fd >= 0) {
        timeval tv{20, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    return fd;
}

class HostileSocketTest : public ListenerHome {
protected:
    // Sends raw bytes, optionally ends the sending side, and collects what comes back.
    PipeReply SendRaw(const std::string& bytes, bool endSending = true) {
        int fd = ConnectBounded(path);
        if (fd < 0) return {};
        plat::WriteFully(fd, bytes.data(), bytes.size());
        if (endSending) ::shutdown(fd, SHUT_WR);
        PipeReply reply = ReadReply(fd);
        ::close(fd);
        return reply;
    }
    bool StillServes() {
        PipeReply r = SendRequest(path, {"REQUEST_METHOD=GET", "QUERY_STRING=alive=1"});
        return r.disconnected && r.Text().find("URL:ALIVE=1\n") != std::string::npos;
    }
};

}  // namespace

TEST_F(HostileSocketTest, MalformedFramesAreAnsweredAndTheEngineGoesOn) {
    StartListener(&unlimited);
    struct Case {
        const char* what;
        std::string bytes;
        std::string expected;  // in the reply text
    } cases[] = {
        {"unknown frame kind", FrameHeader(7, 4) + "abcd",
         "Error attempting to read the environment parameters from the named pipe"},
        {"disconnect frame in place of the environment", FrameHeader(2, 0),
         "Error attempting to read the environment parameters from the named pipe"},
        {"length larger than what follows", FrameHeader(1, 100) + "REQUEST_METHOD=GET",
         "Error attempting to read the environment parameters from the named pipe"},
        {"environment over the cap", FrameHeader(1, 2 * 1024 * 1024) + "x",
         "Error attempting to read the environment parameters from the named pipe"},
        {"half a frame header", FrameHeader(1, 10).substr(0, 4),
         "Error attempting to read the environment parameters from the named pipe"},
        {"empty environment frame", Frame(""), "ECHO\n"},
        {"entries without '=' and a last entry without its NUL",
         Frame(std::string("JUNK\0=\0REQUEST_METHOD=GET\0QUERY_STRING=z=9", 42)), "ECHO\n"},
        {"body frame declared far beyond the body cap",
         Frame(EnvironmentBlock({"REQUEST_METHOD=POST", "CONTENT_TYPE=text/plain", "CONTENT_LENGTH=5"})) +
             FrameHeader(1, 0xFFFFFFF0u) + "abc",
         "Error attempting to read the content stream from the named pipe"},
        {"nothing at all", "", "Error attempting to read the environment parameters from the named pipe"},
    };
    for (const auto& c : cases) {
        PipeReply reply = SendRaw(c.bytes);
        EXPECT_NE(reply.Text().find(c.expected), std::string::npos) << c.what << ": " << reply.Text();
        EXPECT_TRUE(StillServes()) << c.what;
    }
    // The entry without its NUL is not taken as a variable.
    EXPECT_EQ(SendRaw(Frame(std::string("REQUEST_METHOD=GET\0QUERY_STRING=z=9", 35))).Text().find("URL:Z=9"),
              std::string::npos);
}

TEST_F(HostileSocketTest, SilentConnectionDoesNotTakeTheOnlyPermit) {
    StartListener(&one);
    int idle = ConnectBounded(path);
    ASSERT_GE(idle, 0);
    // The silent client came first; the real request must not wait behind it.
    EXPECT_TRUE(StillServes());
    EXPECT_EQ(ReadLog().find("Timed out while waiting for thread semaphore"), std::string::npos);
    ::close(idle);
}

TEST_F(HostileSocketTest, SilentConnectionIsClosedAfterTheReadTimeout) {
    StartListener(&unlimited, 200);
    int fd = ConnectBounded(path);
    ASSERT_GE(fd, 0);
    PipeReply reply = ReadReply(fd);  // returns once the engine closes its side
    ::close(fd);
    EXPECT_TRUE(reply.messages.empty());
    EXPECT_FALSE(reply.disconnected);
    EXPECT_TRUE(StillServes());
}

TEST_F(HostileSocketTest, BodyThatNeverComesEndsTheRequestAfterTheReadTimeout) {
    StartListener(&unlimited, 300);
    struct Case {
        const char* what;
        std::string bytes;
        std::string title;
    } cases[] = {
        {"no body frame",
         Frame(EnvironmentBlock({"REQUEST_METHOD=POST", "CONTENT_TYPE=text/plain", "CONTENT_LENGTH=5"})),
         "Error attempting to read the content stream from the named pipe"},
        {"body frame cut short",
         Frame(EnvironmentBlock({"REQUEST_METHOD=POST", "CONTENT_TYPE=text/plain", "CONTENT_LENGTH=50"})) +
             FrameHeader(1, 50) + "only some",
         "Error attempting to read the content stream from the named pipe"},
        {"environment frame cut short", FrameHeader(1, 64) + "REQUEST_METHOD=GET",
         "Error attempting to read the environment parameters from the named pipe"},
    };
    for (const auto& c : cases) {
        // The sending side stays open: the engine must give up on its own.
        PipeReply reply = SendRaw(c.bytes, false);
        std::string text = reply.Text();
        EXPECT_NE(text.find(c.title), std::string::npos) << c.what << ": " << text;
        EXPECT_NE(text.find("Windows NT error number 258 occurred."), std::string::npos) << c.what << ": " << text;
        EXPECT_TRUE(reply.disconnected) << c.what;
    }
    EXPECT_TRUE(StillServes());
}

TEST_F(HostileSocketTest, ManyIdleConnectionsDoNotStallOtherClients) {
    StartListener(&one);
    std::vector<int> idle;
    for (int i = 0; i < 40; ++i) {
        int fd = ConnectBounded(path);
        ASSERT_GE(fd, 0);
        idle.push_back(fd);
    }
    std::vector<std::future<bool>> others;
    for (int i = 0; i < 5; ++i) others.push_back(std::async(std::launch::async, [this] { return StillServes(); }));
    for (auto& f : others) EXPECT_TRUE(f.get());
    for (int fd : idle) ::close(fd);
    EXPECT_TRUE(StillServes());
}

TEST_F(HostileSocketTest, SilentConnectionsCannotHoldEveryInstance) {
    StartListener(&unlimited, CPipeListener::kDefaultReadTimeoutMilliseconds, 2);
    int silent[2];
    for (int& fd : silent) {
        fd = ConnectBounded(path);
        ASSERT_GE(fd, 0);
    }
    for (int i = 0; i < 2000 && threads.Running() < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(threads.Running(), 2);
    // Both instances are taken by clients that send nothing; a real request still gets through.
    EXPECT_TRUE(StillServes());
    EXPECT_TRUE(StillServes());
    for (int fd : silent) ::close(fd);
}

TEST_F(HostileSocketTest, StopEndsWorkersWaitingForSilentClients) {
    StartListener(&unlimited);  // the full read time-out: only the stop may end the wait
    int idle = ConnectBounded(path);
    ASSERT_GE(idle, 0);
    for (int i = 0; i < 2000 && threads.Running() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(threads.Running(), 1);
    listening = 0;
    listener->Stop();
    thread.join();
    // Shutdown waits for workers before the server's objects go; a silent client must not hold it.
    EXPECT_TRUE(threads.WaitForJobs(10000));
    ::close(idle);
}

TEST_F(HostileSocketTest, ClientThatNeverReadsItsReplyDoesNotHoldAWorker) {
    StartListener(&unlimited, 300);
    int fd = ConnectBounded(path);
    ASSERT_GE(fd, 0);
    int small = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    std::string env = EnvironmentBlock({"REQUEST_METHOD=GET", "QUERY_STRING=bytes=16000000"});
    plat::WritePipeMessage(fd, env);
    // The client reads nothing; the engine must give up on the reply by itself.
    const char* failure = "while attempting to write the reply to the pipe.";
    for (int i = 0; i < 3000 && ReadLog().find(failure) == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_NE(ReadLog().find(failure), std::string::npos) << ReadLog();
    EXPECT_TRUE(threads.WaitForJobs(30000));
    ::close(fd);
    EXPECT_TRUE(StillServes());
}

TEST(PipeFrameLimits, DeclaredLengthAloneAllocatesNothingLarge) {
    int fd[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fd), 0);
    std::string bytes = FrameHeader(1, 0xFFFFFFFFu) + "abc";
    plat::WriteFully(fd[0], bytes.data(), bytes.size());
    ::close(fd[0]);
    plat::PipeReadResult r = plat::ReadPipeFrame(fd[1]);
    ::close(fd[1]);
    EXPECT_EQ(r.status, plat::PipeReadStatus::Eof);
    EXPECT_EQ(r.errorNumber, 109);
    EXPECT_TRUE(r.payload.empty());
}

TEST(PipeFrameLimits, WholeFrameMustArriveWithinTheTimeout) {
    int fd[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fd), 0);
    std::string bytes = FrameHeader(1, 10) + "abc";
    plat::WriteFully(fd[0], bytes.data(), bytes.size());
    plat::PipeReadResult late = plat::ReadPipeFrame(fd[1], 100, 50);
    EXPECT_EQ(late.status, plat::PipeReadStatus::TimedOut);
    EXPECT_EQ(late.errorNumber, 258);
    ::close(fd[0]);
    ::close(fd[1]);

    // A frame that does arrive reads whole under a bound, also when larger than the first chunk.
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fd), 0);
    std::string big(300000, 'b');
    big[150000] = '\0';
    std::thread writer([&] { plat::WritePipeMessage(fd[0], big); });
    plat::PipeReadResult whole = plat::ReadPipeFrame(fd[1], big.size(), 20000);
    writer.join();
    ::close(fd[0]);
    ::close(fd[1]);
    EXPECT_EQ(whole.status, plat::PipeReadStatus::Ok);
    EXPECT_EQ(whole.payload, big);
}

namespace {

// A reader over an environment block and a body held in memory.
class HeldRequest : public CRequestReader {
public:
    HeldRequest(const std::vector<std::string>& env, std::string body)
        : env_(EnvironmentBlock(env)), body_(std::move(body)) {}
    // The title of the exception the parse raised, empty when none.
    std::string Parse() {
        try {
            ParseCgiEnvironment();
        } catch (CWebException* e) {
            std::string title = e->GetMessage() + e->GetDetail();
            e->Delete();
            return title;
        }
        return {};
    }

protected:
    void ReadEnvironment() override { SplitEnvironmentBlock(env_.data(), env_.size()); }
    void ReadContent(CByteBuffer& buffer) override { buffer.Append(body_.data(), body_.size()); }

private:
    std::string env_, body_;
};

class HostileRequestTest : public ServerTestHome {};

}  // namespace

TEST_F(HostileRequestTest, ContentLengthIsReadAsTheGatewayReadsIt) {
    // The gateway sends a body whenever the length has digits after white space;
    // the engine must then read and use it, or the body would sit unread.
    for (const char* length : {"3", " 3", "\t3", "\n3", "\r\n3", "+3", "3abc"}) {
        HeldRequest r({"REQUEST_METHOD=POST", "CONTENT_TYPE=application/x-www-form-urlencoded",
                       std::string("CONTENT_LENGTH=") + length},
                      "a=1");
        EXPECT_EQ(r.Parse(), "");
        EXPECT_EQ(r.GetFormField("a"), "1") << '[' << length << ']';
    }
    for (const char* length : {"", "abc", "0", "-0"}) {
        HeldRequest r({"REQUEST_METHOD=POST", "CONTENT_TYPE=application/x-www-form-urlencoded",
                       std::string("CONTENT_LENGTH=") + length},
                      "a=1");
        EXPECT_EQ(r.Parse(), "");
        EXPECT_FALSE(r.HasFormField("a")) << '[' << length << ']';
    }
}

TEST_F(HostileRequestTest, MultipartBoundaryForms) {
    const std::string body = "--b0\r\nContent-Disposition: form-data; name=\"t\"\r\n\r\nv\r\n--b0--\r\n";
    struct Case {
        std::string type;
        std::string error;  // empty: T is read as "v"
    } cases[] = {
        {"multipart/form-data; boundary=b0", ""},
        {"multipart/form-data; boundary=\"b0\"", ""},
        {"multipart/form-data; BOUNDARY=b0", ""},
        {"multipart/form-data; boundary=", "Invalid multipart MIME data.<P>No multipart boundary was declared.<P>"},
        {"multipart/form-data; boundary=\"\"", "Invalid multipart MIME data.<P>No multipart boundary was declared.<P>"},
        {"multipart/form-data", "Invalid multipart MIME data.<P>No multipart boundary was declared.<P>"},
        {"multipart/form-data; boundary=zz",
         "Invalid multi-part data.<P>The multi-part boundary marker is not present in the posted data.<P>"},
    };
    for (const auto& c : cases) {
        HeldRequest r(
            {"REQUEST_METHOD=POST", "CONTENT_TYPE=" + c.type, "CONTENT_LENGTH=" + std::to_string(body.size())}, body);
        EXPECT_EQ(r.Parse(), c.error) << c.type;
        if (c.error.empty()) {
            EXPECT_EQ(r.GetFormField("t"), "v") << c.type;
        }
    }
}

TEST_F(HostileRequestTest, HostileUrlEncodedTextIsReadWithoutHarm) {
    std::string many;
    for (int i = 0; i < 40000; ++i) many += "f" + std::to_string(i) + "=" + std::to_string(i) + "&";
    std::string longName(200000, 'n');
    struct Case {
        const char* what;
        std::string body;
        std::string field;
        std::string value;
    } cases[] = {
        {"bad escapes", "a=%&b=%4&c=%zz&d=%%41", "b", "%4"},
        {"escape at the very end", "a=50%", "a", "50%"},
        {"escaped NUL stays in the value", "a=x%00y", "a", std::string("x\0y", 3)},
        {"raw NUL ends the form text", std::string("a=1\0&b=2", 8), "b", ""},
        {"repeated names join", "r=1&r=&r=3&R=4", "r", "1,3,4"},
        {"more fields than the token cap", many, "f31999", "31999"},
        {"fields past the token cap are dropped", many, "f32000", ""},
        {"very long name", longName + "=v", longName, "v"},
        {"name only and empty name", "=x&&&solo&=", "", "x"},
    };
    for (const auto& c : cases) {
        HeldRequest r({"REQUEST_METHOD=POST", "CONTENT_TYPE=application/x-www-form-urlencoded",
                       "CONTENT_LENGTH=" + std::to_string(c.body.size())},
                      c.body);
        EXPECT_EQ(r.Parse(), "") << c.what;
        EXPECT_EQ(r.GetFormField(c.field), c.value) << c.what;
    }
}

namespace {

class HostileCopyDataTest : public DispatcherHome {
protected:
    void SetUp() override {
        DispatcherHome::SetUp();
        RegisterEchoPage(dispatcher, true);
        ASSERT_EQ(::pipe(done), 0);
    }
    void TearDown() override {
        for (int fd : done)
            if (fd >= 0) ::close(fd);
        // A worker still ends its request (the limiter's release) after signalling completion.
        threads.WaitForJobs(10000);
        DispatcherHome::TearDown();
    }
    // Sends a request naming replyFile; true when the sender was told at once.
    bool RefusedAtOnce(const std::string& replyFile) {
        plat::WindowMessage m;
        m.msg = plat::WM_COPYDATA;
        m.senderPid = ::getpid();
        m.dwData = static_cast<std::uint64_t>(::getpid());
        std::string env("REQUEST_METHOD=GET\0\0", 20);
        std::uint32_t words[4] = {0, static_cast<std::uint32_t>(replyFile.size()),
                                  static_cast<std::uint32_t>(env.size()), 0};
        m.data.assign(reinterpret_cast<const char*>(words), sizeof words);
        m.data += replyFile + env;
        m.fd = ::dup(done[1]);
        OnCopyData(m, true, RequestRoad{dispatcher, &unlimited, threads});
        if (m.fd >= 0) ::close(m.fd);
        pollfd p{done[0], POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) return false;
        char b;
        return ::read(done[0], &b, 1) == 1;
    }

    RequestLimiter unlimited{false, 0, 0};
    CRequestThreadPool threads;  // goes first: its jobs use the limiter and the dispatcher
    int done[2] = {-1, -1};
};

}  // namespace

TEST_F(HostileCopyDataTest, ReplyGoesOnlyToAGatewayTemporaryFile) {
    std::filesystem::create_directories(home() + "/tmp/sub");
    const std::string victim = home() + "/victim.txt";
    for (const std::string& path : {victim, home() + "/tmp/sub/TST1.TMP", home() + "/tmp/../victim.txt",
                                    home() + "/tmp/OTHER.TMP", std::string("relative/TST1.TMP")}) {
        { std::ofstream(victim) << "keep"; }
        EXPECT_TRUE(RefusedAtOnce(path)) << path;
        std::string text = tessaro::test::ReadFileText(victim);
        EXPECT_EQ(text, "keep") << path;
    }
    EXPECT_FALSE(std::filesystem::exists(home() + "/tmp/sub/TST1.TMP"));
    EXPECT_FALSE(std::filesystem::exists(home() + "/tmp/OTHER.TMP"));
}

TEST_F(HostileRequestTest, ReplyChannelStopsAfterTheFirstFailedWrite) {
    int fd[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fd), 0);
    timeval tv{0, 100000};
    ::setsockopt(fd[0], SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    CPipeReplyChannel channel(fd[0]);
    std::string block(4 * 1024 * 1024, 'r');
    EXPECT_FALSE(channel.Write(block.data(), block.size()));
    EXPECT_FALSE(channel.Write("more", 4));
    EXPECT_FALSE(channel.WriteEmpty());
    channel.Close();
    ::close(fd[0]);
    ::close(fd[1]);
    std::string log = ReadLog();
    size_t first = log.find("attempting to write the reply");
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find("attempting to write the reply", first + 1), std::string::npos) << log;
}

TEST_F(HostileRequestTest, HeaderValuesCarryNoLineBreaksOrNuls) {
    using namespace std::string_literals;
    struct Case {
        const char* what;
        std::function<void(CReplyWriter&)> act;
        std::string expected;
    } cases[] = {
        {"redirect", [](CReplyWriter& w) { w.Redirect("http://x/\0evil\r\nSet-Cookie: a=1\n\nbody"s); },
         "Location: http://x/evilSet-Cookie: a=1body\n\n"},
        {"content type",
         [](CReplyWriter& w) {
             w.BeginOutput();
             w.SetContentType("text/html\0\r\nSet-Cookie: a=1"s);
         },
         "Content-type: text/htmlSet-Cookie: a=1\n\n"},
        {"added header", [](CReplyWriter& w) { w.AddHeader("X-A: 1\0\r\n\r\n\r\nX-B: 2\n"s); }, "X-A: 1\nX-B: 2\n\n"},
    };
    for (const auto& c : cases) {
        RecordingChannel channel;
        CReplyWriter writer(&channel);
        c.act(writer);
        writer.Finish();
        EXPECT_EQ(channel.text, c.expected) << c.what;
    }
}

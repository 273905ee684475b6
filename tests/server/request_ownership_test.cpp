// A request is owned by one handle from its accept to its worker's end: whichever step
// refuses it, its socket is closed and its context freed exactly once, and what it held
// (the instance, the permit) is given back after that.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "engine/server/echo_page.h"
#include "engine/server/pipe_listener.h"
#include "engine/server/request_context.h"
#include "engine/server/request_limiter.h"
#include "engine/server/request_thread_pool.h"
#include "engine/server/request_worker.h"
#include "listener_home.h"
#include "pipe_test_client.h"
#include "platform/pipe_frame.h"
#include "platform/system_calls.h"
#include "request_test_support.h"

namespace {

using namespace std::chrono_literals;
namespace plat = tessaro::platform;

// What the end of one request looked like, seen from its reader's end (the context's first
// member to go).
struct EndSeen {
    int ends = 0;
    bool socketOpen = true;  // the request's socket, when its context went
    long permits = -1;       // the limiter's active count then
};

class ProbedReader : public CPipeRequestReader {
public:
    ProbedReader(int socket, CServerSettings* settings, EndSeen& seen, const RequestLimiter* limiter)
        : CPipeRequestReader(socket, settings, std::make_shared<BodyMemoryBudget>(), 2000), m_socket(socket), m_seen(seen), m_limiter(limiter) {}
    ~ProbedReader() override {
        ++m_seen.ends;
        m_seen.socketOpen = ::fcntl(m_socket, F_GETFD) >= 0;
        if (m_limiter) m_seen.permits = m_limiter->GetActiveCount();
    }

private:
    int m_socket;
    EndSeen& m_seen;
    const RequestLimiter* m_limiter;
};

CRequestThreadPool::ThreadMaker NoThreads() {
    return [](std::function<void()>) -> plat::SizedThread {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    };
}

class RequestOwnershipTest : public DispatcherHome {
protected:
    void SetUp() override {
        DispatcherHome::SetUp();
        RegisterEchoPage(dispatcher, true);
    }
    void TearDown() override {
        CloseGatewayEnd();
        threads.WaitForJobs(10000);
        DispatcherHome::TearDown();
    }
    // A fresh connection: [0] for the request, [1] the gateway's.
    void Connect() {
        CloseGatewayEnd();
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        timeval tv{10, 0};
        ::setsockopt(ends[1], SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    void CloseGatewayEnd() {
        if (ends[1] >= 0) ::close(ends[1]);
        ends[1] = -1;
    }
    // A request over the engine's end of the pair, as the listener makes one.
    RequestHandle Request(const RequestLimiter* limiter) {
        RequestHandle request(new CRequestContext);
        request->m_socket = ends[0];
        request->m_channel = std::make_unique<CPipeReplyChannel>(ends[0]);
        request->m_writer = std::make_unique<CReplyWriter>(request->m_channel.get());
        request->m_reader = std::make_unique<ProbedReader>(ends[0], settings.get(), seen, limiter);
        return request;
    }
    void SendRequest() {
        plat::WritePipeMessage(ends[1], EnvironmentBlock({"REQUEST_METHOD=GET", "QUERY_STRING=probe=1"}));
    }

    EndSeen seen;
    int ends[2] = {-1, -1};  // [0] the engine's, owned by the request
    RequestLimiter unlimited{false, 0, 0};
    RequestLimiter one{true, 1, 0};  // no wait for the one permit
    CRequestThreadPool threads;      // goes first: its jobs use the limiters and the dispatcher
};

}  // namespace

TEST_F(RequestOwnershipTest, EachWayOutOfTheWorkerEndsTheRequestOnceBeforeItsPermitGoes) {
    struct Case {
        const char* what;
        bool permitTaken;     // the test holds the only permit
        bool gatewayGone;     // the gateway's end closed before the worker runs
        bool answered;        // a page comes back
    } cases[] = {
        {"answered", false, false, true},
        {"no permit within the wait", true, false, false},
        {"gateway gone before its turn", false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        seen = EndSeen{};
        Connect();
        SendRequest();
        if (c.permitTaken) {
            ASSERT_TRUE(one.Acquire());
        }
        RequestHandle request = Request(&one);
        ASSERT_TRUE(request->m_reader->ReceiveRequest());
        if (c.gatewayGone) CloseGatewayEnd();
        RunRequest(std::move(request), &one, dispatcher);
        EXPECT_EQ(seen.ends, 1);
        EXPECT_FALSE(seen.socketOpen) << "the socket is closed before the context goes";
        if (c.permitTaken) {
            one.Release();
        } else {
            EXPECT_EQ(seen.permits, 1) << "the permit outlives the request";
        }
        EXPECT_EQ(one.GetActiveCount(), 0);
        if (ends[1] >= 0) {
            PipeReply reply = ReadReply(ends[1]);
            EXPECT_EQ(reply.disconnected, c.answered);
            EXPECT_EQ(reply.Text().find("URL:PROBE=1\n") != std::string::npos, c.answered) << reply.Text();
        }
    }
}

TEST_F(RequestOwnershipTest, RequestNoThreadTakesEndsAtOnce) {
    CRequestThreadPool refusing(NoThreads());
    Connect();
    SendRequest();
    EXPECT_FALSE(StartRequestThread(Request(&unlimited), RequestRoad{dispatcher, &unlimited, refusing}));
    EXPECT_EQ(seen.ends, 1);
    EXPECT_FALSE(seen.socketOpen);
    EXPECT_EQ(refusing.Running(), 0);
    PipeReply reply = ReadReply(ends[1]);  // the end of the stream, no frame
    EXPECT_TRUE(reply.messages.empty());
    EXPECT_FALSE(reply.disconnected);

    // On a pool that has a thread the same request is answered, and ends once as well.
    Connect();
    seen = EndSeen{};
    SendRequest();
    EXPECT_TRUE(StartRequestThread(Request(&unlimited), RequestRoad{dispatcher, &unlimited, threads}));
    EXPECT_TRUE(ReadReply(ends[1]).disconnected);
    ASSERT_TRUE(threads.WaitForJobs(10000));
    EXPECT_EQ(seen.ends, 1);
}

TEST_F(RequestOwnershipTest, PipeRequestOwnsItsSocketFromTheStart) {
    Connect();
    RequestHandle request = MakePipeRequest(ends[0], settings.get(), std::make_shared<BodyMemoryBudget>(), 1000);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->m_socket, ends[0]);
    ASSERT_NE(request->m_channel, nullptr);
    ASSERT_NE(request->m_writer, nullptr);
    ASSERT_NE(request->m_reader, nullptr);
    request.reset();
    EXPECT_LT(::fcntl(ends[0], F_GETFD), 0);
    char byte;
    EXPECT_EQ(::read(ends[1], &byte, 1), 0);  // the engine's end has gone
}

namespace {

class ListenerOwnershipTest : public ListenerHome {
protected:
    // A connection that gives up after a while: a leaked instance fails the test, not hangs it.
    int Connect() {
        int fd = ConnectPipe(path);
        timeval tv{20, 0};
        if (fd >= 0) ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        return fd;
    }
    bool Served(const std::string& query) {
        int fd = Connect();
        if (fd < 0) return false;
        plat::WritePipeMessage(fd, EnvironmentBlock({"REQUEST_METHOD=GET", "QUERY_STRING=" + query}));
        PipeReply r = ReadReply(fd);
        ::close(fd);
        return r.disconnected && r.Text().find("ECHO\n") != std::string::npos;
    }
};

}  // namespace

TEST_F(ListenerOwnershipTest, ConnectionNoThreadTakesIsClosedAndItsInstanceGivenBack) {
    // One instance only: were the refused connection's instance kept, nothing would be served.
    StartListener(&unlimited, CPipeListener::kDefaultReadTimeoutMilliseconds, 1);
    refuseThreads = 1;
    int fd = Connect();
    ASSERT_GE(fd, 0);
    plat::WritePipeMessage(fd, EnvironmentBlock({"REQUEST_METHOD=GET"}));
    PipeReply refused = ReadReply(fd);
    ::close(fd);
    EXPECT_TRUE(refused.messages.empty());
    EXPECT_FALSE(refused.disconnected);
    EXPECT_EQ(refuseThreads, 0);
    EXPECT_TRUE(Served("after=1"));
    EXPECT_TRUE(Served("again=1"));
    EXPECT_TRUE(fatal.empty()) << fatal;
}

TEST_F(ListenerOwnershipTest, EveryRefusedConnectionGivesItsInstanceBack) {
    // Two instances: each refusal below must give its instance back, or the next one waits.
    StartListener(&one, 300, 2);
    struct Case {
        const char* what;
        std::function<void(int fd)> act;  // on a fresh connection
    } cases[] = {
        {"silent until the read time-out", [](int) {}},
        {"gone before a byte", [](int fd) { ::shutdown(fd, SHUT_RDWR); }},
        {"environment cut short", [](int fd) {
             std::string half("\x01\0\0\0\x40\0\0\0REQUEST", 15);
             plat::WriteFully(fd, half.data(), half.size());
         }},
        {"malformed frame", [](int fd) {
             std::string bad("\x07\0\0\0\x00\0\0\0", 8);
             plat::WriteFully(fd, bad.data(), bad.size());
             ::shutdown(fd, SHUT_WR);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (int round = 0; round < 3; ++round) {
            int fd = Connect();
            ASSERT_GE(fd, 0);
            c.act(fd);
            ReadReply(fd);
            ::close(fd);
        }
        EXPECT_TRUE(Served("next=1"));
    }
    // The last worker gives its permit back just after its reply.
    for (int i = 0; i < 1000 && one.GetActiveCount() > 0; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(one.GetActiveCount(), 0);
}

namespace {

// The flag the next accept clears as it takes its connection: the flag goes false between
// the wait and the accept, whatever the threads' timing.
std::atomic<std::atomic<int>*> g_flagClearedAtAccept{nullptr};

int AcceptClearingTheFlag(int fd, sockaddr* address, socklen_t* length, int flags) {
    if (std::atomic<int>* flag = g_flagClearedAtAccept.exchange(nullptr)) *flag = 0;
    return ::accept4(fd, address, length, flags);
}

}  // namespace

TEST_F(ListenerOwnershipTest, ConnectionAcceptedAfterTheFlagIsClearedIsClosedAndLogged) {
    StartListener(&unlimited);
    ASSERT_TRUE(Served("first=1"));
    g_flagClearedAtAccept = &listening;
    plat::ScopedSystemCall accept(plat::SystemCalls().accept4, &AcceptClearingTheFlag);
    int fd = Connect();
    ASSERT_GE(fd, 0);
    thread.join();  // the loop ends with that connection
    PipeReply reply = ReadReply(fd);
    ::close(fd);
    EXPECT_TRUE(reply.messages.empty());
    EXPECT_FALSE(reply.disconnected);
    // The first connection's worker closes it just after its reply has gone out.
    for (int i = 0; i < 1000 && listener->GetOpenConnections() > 0; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(listener->GetOpenConnections(), 0);
    EXPECT_NE(ReadLog().find("Pipe successfully connected but listener flag was set to FALSE (note: this is not an "
                             "error condition)."),
              std::string::npos)
        << ReadLog();
    EXPECT_TRUE(fatal.empty()) << fatal;
}

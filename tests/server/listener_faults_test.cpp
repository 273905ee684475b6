// The engine's listener with its system calls made to fail on purpose: a process out of
// descriptors at accept, and a request socket whose every call may be interrupted or short.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "listener_home.h"
#include "pipe_test_client.h"
#include "platform/system_calls.h"

namespace plat = tessaro::platform;

namespace {

std::atomic<int> g_calls{0};

int ExhaustedAccept(int fd, sockaddr* address, socklen_t* length, int flags) {
    if (g_calls++ < 3) {
        errno = EMFILE;
        return -1;
    }
    return plat::SystemCalls().accept4.Real()(fd, address, length, flags);
}

// Every third call is interrupted; the others move a few bytes at most.
ssize_t InterruptedShortRead(int fd, void* data, size_t n) {
    if (g_calls++ % 3 == 0) {
        errno = EINTR;
        return -1;
    }
    return plat::SystemCalls().read.Real()(fd, data, n < 5 ? n : 5);
}
ssize_t InterruptedShortSend(int fd, const void* data, size_t n, int flags) {
    if (g_calls++ % 3 == 0) {
        errno = EINTR;
        return -1;
    }
    return plat::SystemCalls().send.Real()(fd, data, n < 7 ? n : 7, flags);
}

class ListenerFaultsTest : public ListenerHome {
protected:
    void SetUp() override {
        ListenerHome::SetUp();
        g_calls = 0;
    }
    std::vector<std::string> Get(const std::string& query) {
        return {"REQUEST_METHOD=GET", "QUERY_STRING=" + query, "REMOTE_ADDR=10.0.0.9"};
    }
};

}  // namespace

TEST_F(ListenerFaultsTest, OutOfDescriptorsAtAcceptTheRequestWaitsAndIsServed) {
    StartListener(&unlimited);
    plat::ScopedSystemCall accept(plat::SystemCalls().accept4, &ExhaustedAccept);
    for (const char* query : {"a=1", "a=2"}) {
        PipeReply reply = SendRequest(path, Get(query));
        EXPECT_TRUE(reply.disconnected) << query;
        EXPECT_EQ(reply.Text().rfind("Content-type: text/html\n\nECHO\n", 0), 0u) << reply.Text();
    }
    EXPECT_GE(g_calls.load(), 4);  // the failing accepts were met
}

// The reply that arrives through interrupted and short calls is the one that arrives without.
TEST_F(ListenerFaultsTest, InterruptedAndShortSocketCallsLoseNoByte) {
    StartListener(&unlimited);
    const PipeReply plain = SendRequest(path, Get("a=1&bytes=8192"));
    ASSERT_TRUE(plain.disconnected);
    PipeReply cut;
    {
        plat::ScopedSystemCall read(plat::SystemCalls().read, &InterruptedShortRead);
        plat::ScopedSystemCall send(plat::SystemCalls().send, &InterruptedShortSend);
        cut = SendRequest(path, Get("a=1&bytes=8192"));
    }
    EXPECT_GT(g_calls.load(), 1000);
    EXPECT_TRUE(cut.disconnected);
    EXPECT_EQ(cut.messages, plain.messages);
    // And the engine is still there.
    EXPECT_EQ(SendRequest(path, Get("a=2")).Text().rfind("Content-type: text/html\n\nECHO\n", 0), 0u);
}

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <string>

#include "platform/tcp_connection_state.h"
#include "tests/common/loopback_connection.h"

namespace {

using tessaro::platform::TcpConnectionState;
using tessaro::platform::TcpConnectionWatch;
using tessaro::test::LoopbackConnection;

// The server's end is watched, as a CGI program watches its web server's end of the visitor's
// connection.
TEST(TcpConnectionWatchTest, TheServersEndLeavesTheEstablishedStateWhenTheClientCloses) {
    for (const char* clientAddress : {"127.0.0.1", "::ffff:127.0.0.1"}) {
        LoopbackConnection c;
        ASSERT_GE(c.server, 0);
        TcpConnectionWatch watch("127.0.0.1", c.ServerPort(), clientAddress, c.ClientPort());
        EXPECT_EQ(watch.Look(), TcpConnectionState::Established) << clientAddress;
        EXPECT_EQ(watch.Look(), TcpConnectionState::Established) << clientAddress;
        c.CloseClient();
        EXPECT_EQ(watch.Look(), TcpConnectionState::Closing) << clientAddress;
        // And once the server has closed its end too.
        c.CloseServer();
        EXPECT_EQ(watch.Look(), TcpConnectionState::Closing) << clientAddress;
    }
}

TEST(TcpConnectionWatchTest, AConnectionAlreadyClosedByThePeerCountsAsClosingAtTheFirstLook) {
    LoopbackConnection c;
    ::shutdown(c.client, SHUT_WR);
    TcpConnectionWatch watch("127.0.0.1", c.ServerPort(), "127.0.0.1", c.ClientPort());
    EXPECT_EQ(watch.Look(), TcpConnectionState::Closing);
}

TEST(TcpConnectionWatchTest, WhatNamesNoConnectionIsUnknown) {
    LoopbackConnection c;
    const int serverPort = c.ServerPort(), clientPort = c.ClientPort();
    struct Case {
        std::string local;
        int localPort;
        std::string remote;
        int remotePort;
    } const cases[] = {
        {"127.0.0.1", serverPort, "127.0.0.1", clientPort == 65535 ? 65534 : clientPort + 1},  // the listener's port
        {"not an address", serverPort, "127.0.0.1", clientPort},
        {"127.0.0.1", serverPort, "::1", clientPort},
        {"127.0.0.1", 0, "127.0.0.1", clientPort},
        {"127.0.0.1", serverPort, "127.0.0.1", 70000},
    };
    for (const Case& k : cases) {
        TcpConnectionWatch watch(k.local, k.localPort, k.remote, k.remotePort);
        EXPECT_EQ(watch.Look(), TcpConnectionState::Unknown) << k.local << " " << k.remote << " " << k.remotePort;
    }
}

}  // namespace

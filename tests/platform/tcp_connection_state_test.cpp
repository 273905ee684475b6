#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "platform/tcp_connection_state.h"

namespace {

using tessaro::platform::TcpConnectionState;
using tessaro::platform::TcpConnectionWatch;

int PortOf(int fd, bool peer) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (peer)
        ::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length);
    else
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

// A server on the loopback and one client connected to it: the server's end is watched, as a
// CGI program watches its web server's end of the visitor's connection.
struct Connection {
    int listener = -1, client = -1, server = -1;
    Connection() {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener, 4);
        socklen_t length = sizeof address;
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address);
        server = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    }
    ~Connection() {
        for (int fd : {listener, client, server})
            if (fd >= 0) ::close(fd);
    }
    int ServerPort() const { return PortOf(server, false); }
    int ClientPort() const { return PortOf(server, true); }
};

TEST(TcpConnectionWatchTest, TheServersEndLeavesTheEstablishedStateWhenTheClientCloses) {
    for (const char* clientAddress : {"127.0.0.1", "::ffff:127.0.0.1"}) {
        Connection c;
        ASSERT_GE(c.server, 0);
        TcpConnectionWatch watch("127.0.0.1", c.ServerPort(), clientAddress, c.ClientPort());
        EXPECT_EQ(watch.Look(), TcpConnectionState::Established) << clientAddress;
        EXPECT_EQ(watch.Look(), TcpConnectionState::Established) << clientAddress;
        ::close(c.client);
        c.client = -1;
        EXPECT_EQ(watch.Look(), TcpConnectionState::Closing) << clientAddress;
        // And once the server has closed its end too.
        ::close(c.server);
        c.server = -1;
        EXPECT_EQ(watch.Look(), TcpConnectionState::Closing) << clientAddress;
    }
}

TEST(TcpConnectionWatchTest, AConnectionAlreadyClosedByThePeerCountsAsClosingAtTheFirstLook) {
    Connection c;
    const int serverPort = c.ServerPort(), clientPort = c.ClientPort();
    ::shutdown(c.client, SHUT_WR);
    TcpConnectionWatch watch("127.0.0.1", serverPort, "127.0.0.1", clientPort);
    EXPECT_EQ(watch.Look(), TcpConnectionState::Closing);
}

TEST(TcpConnectionWatchTest, WhatNamesNoConnectionIsUnknown) {
    Connection c;
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

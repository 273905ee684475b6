// A TCP connection on the loopback made by the test itself: a listener, a client connected to
// it and the server's end of the connection, with the ports each end has.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tessaro::test {

struct LoopbackConnection {
    int listener = -1;
    int client = -1;
    int server = -1;

    LoopbackConnection() {
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
    ~LoopbackConnection() {
        for (int fd : {listener, client, server})
            if (fd >= 0) ::close(fd);
    }
    LoopbackConnection(const LoopbackConnection&) = delete;
    LoopbackConnection& operator=(const LoopbackConnection&) = delete;

    // The server's own port, and the client's as the server sees it.
    int ServerPort() const { return PortOf(server, false); }
    int ClientPort() const { return PortOf(server, true); }
    void CloseClient() {
        ::close(client);
        client = -1;
    }
    void CloseServer() {
        ::close(server);
        server = -1;
    }

private:
    static int PortOf(int fd, bool peer) {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        if (peer)
            ::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length);
        else
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        return ntohs(address.sin_port);
    }
};

}  // namespace tessaro::test

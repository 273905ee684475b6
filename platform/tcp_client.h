// A TCP client connection for protocols spoken a reply at a time (the mailer's
// SMTP dialogue): non-blocking sockets whose waits are bounded by poll() in
// slices, so that the caller can look at its own deadline and quit request
// between slices. Errors are the WinSock numbers the callers' tables know
// (10061 refused, 10060 timed out, 11001 host not found, ...).
#pragma once

#include <cstddef>
#include <string>

namespace tessaro::platform {

// A slice passed without the awaited event.
constexpr long kSocketStillWaiting = -1;
// The peer closed the connection (a receive of 0 bytes).
constexpr long kSocketPeerClosed = -2;

// The WinSock number for an errno value (10000 + the BSD number for the socket
// errors, 10035 for EAGAIN, ...); an unknown value gives 10000 + errno's value.
long SocketErrorFromErrno(int errnoValue);
// The WinSock number for a getaddrinfo() result (11001-11004).
long SocketErrorFromLookup(int result);

class TcpClient {
public:
    TcpClient() = default;
    ~TcpClient();
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    // Resolves host (blocking) and starts connecting to its first address. 0 or an error.
    long StartConnect(const std::string& host, int port);
    // 0 once connected, kSocketStillWaiting after sliceMs, else an error (every
    // address of the host was tried).
    long WaitConnected(int sliceMs);
    // Sends from data[*sent] on, advancing *sent. 0 when everything is out,
    // kSocketStillWaiting when the slice passed first, else an error.
    long SendSome(const char* data, std::size_t size, std::size_t* sent, int sliceMs);
    // Appends what arrives within sliceMs to out. 0 with data, kSocketStillWaiting,
    // kSocketPeerClosed, or an error.
    long ReceiveSome(std::string& out, int sliceMs);
    // abortive: reset at once (SO_LINGER 0) instead of a graceful close.
    void Close(bool abortive = false);

    bool IsOpen() const { return fd_ >= 0; }
    bool IsConnected() const { return connected_; }
    // The local address in text form ("127.0.0.1", or "IPv6:..." for IPv6).
    std::string LocalAddress() const;

private:
    long ConnectNext();

    int fd_ = -1;
    bool connected_ = false;
    void* addresses_ = nullptr;  // the resolved list (struct addrinfo*)
    void* next_ = nullptr;       // the next address to try
};

}  // namespace tessaro::platform

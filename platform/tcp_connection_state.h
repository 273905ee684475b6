// Whether a TCP connection of this host, known by its two ends, is still established: the
// kernel's socket table is asked for that very connection (the socket-diagnostics netlink
// family, as `ss` asks it). A CGI program holds no descriptor of its visitor's connection,
// but its web server's end is in the table under the addresses and ports of the CGI
// variables, and it leaves the established state as soon as the visitor's side closes.
#pragma once

#include <cstdint>
#include <string>

namespace tessaro::platform {

enum class TcpConnectionState {
    Established,  // the connection is there and open both ways
    Closing,      // the peer has closed its side, or the connection is gone
    Unknown,      // the table could not be asked (no such family, refused, bad address)
};

class TcpConnectionWatch {
public:
    // localAddress:localPort is this host's end (the server's), remoteAddress:remotePort the
    // peer's, as text: dotted IPv4, IPv6, or IPv6 for a mapped IPv4 address.
    TcpConnectionWatch(const std::string& localAddress, int localPort, const std::string& remoteAddress,
                       int remotePort);
    ~TcpConnectionWatch();
    TcpConnectionWatch(const TcpConnectionWatch&) = delete;
    TcpConnectionWatch& operator=(const TcpConnectionWatch&) = delete;

    // One look at the table. The first look that finds the connection established remembers
    // its socket; later looks report Closing once that socket has left the established state
    // or is gone (the ports may meanwhile belong to another connection).
    TcpConnectionState Look();

private:
    bool valid_ = false;
    int family_ = 0;
    unsigned char local_[16] = {};
    unsigned char remote_[16] = {};
    std::uint16_t localPort_ = 0;
    std::uint16_t remotePort_ = 0;
    int netlink_ = -1;
    std::uint32_t inode_ = 0;  // of the socket first seen established; 0 before
};

}  // namespace tessaro::platform

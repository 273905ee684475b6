#include "platform/tcp_connection_state.h"
#include "platform/system_calls.h"

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tessaro::platform {

namespace {

// Fills out (16 bytes) from text; a mapped IPv4 address is taken as the IPv4 one, as the
// kernel files such a connection. The family, or 0 for text that is no address.
int ParseAddress(const std::string& text, unsigned char* out) {
    in_addr v4{};
    if (::inet_pton(AF_INET, text.c_str(), &v4) == 1) {
        std::memcpy(out, &v4, sizeof v4);
        return AF_INET;
    }
    in6_addr v6{};
    if (::inet_pton(AF_INET6, text.c_str(), &v6) != 1) return 0;
    if (IN6_IS_ADDR_V4MAPPED(&v6)) {
        std::memcpy(out, v6.s6_addr + 12, 4);
        return AF_INET;
    }
    std::memcpy(out, &v6, sizeof v6);
    return AF_INET6;
}

}  // namespace

TcpConnectionWatch::TcpConnectionWatch(const std::string& localAddress, int localPort,
                                       const std::string& remoteAddress, int remotePort) {
    if (localPort <= 0 || localPort > 65535 || remotePort <= 0 || remotePort > 65535) return;
    const int localFamily = ParseAddress(localAddress, local_);
    if (localFamily == 0 || ParseAddress(remoteAddress, remote_) != localFamily) return;
    family_ = localFamily;
    localPort_ = static_cast<std::uint16_t>(localPort);
    remotePort_ = static_cast<std::uint16_t>(remotePort);
    netlink_ = SystemCalls().socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (netlink_ < 0) return;
    // The kernel answers at once; a stalled answer must not hold the caller.
    timeval wait{1, 0};
    SystemCalls().setsockopt(netlink_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    valid_ = true;
}

TcpConnectionWatch::~TcpConnectionWatch() {
    if (netlink_ >= 0) SystemCalls().close(netlink_);
}

TcpConnectionState TcpConnectionWatch::Look() {
    if (!valid_) return TcpConnectionState::Unknown;
    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } query{};
    static_assert(sizeof query.request.id.idiag_src == 16);
    query.header.nlmsg_len = sizeof query;
    query.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    query.header.nlmsg_flags = NLM_F_REQUEST;
    query.request.sdiag_family = static_cast<std::uint8_t>(family_);
    query.request.sdiag_protocol = IPPROTO_TCP;
    query.request.idiag_states = ~0u;
    // The socket of this host's end: its source is the local end.
    query.request.id.idiag_sport = htons(localPort_);
    query.request.id.idiag_dport = htons(remotePort_);
    std::memcpy(query.request.id.idiag_src, local_, sizeof local_);
    std::memcpy(query.request.id.idiag_dst, remote_, sizeof remote_);
    query.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    query.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (SystemCalls().sendto(netlink_, &query, sizeof query, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0)
        return TcpConnectionState::Unknown;
    alignas(nlmsghdr) char answer[8192];
    ssize_t length;
    do {
        length = SystemCalls().recv(netlink_, answer, sizeof answer, 0);
    } while (length < 0 && errno == EINTR);
    if (length < static_cast<ssize_t>(sizeof(nlmsghdr))) return TcpConnectionState::Unknown;
    const auto* reply = reinterpret_cast<const nlmsghdr*>(answer);
    if (!NLMSG_OK(reply, static_cast<unsigned>(length))) return TcpConnectionState::Unknown;
    bool found = false;
    int state = 0;
    std::uint32_t inode = 0;
    if (reply->nlmsg_type == NLMSG_ERROR) {
        const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(reply));
        // No such socket is an answer; any other error means the table cannot be asked.
        if (reply->nlmsg_len < NLMSG_LENGTH(sizeof(nlmsgerr)) || error->error != -ENOENT)
            return TcpConnectionState::Unknown;
    } else if (reply->nlmsg_type == SOCK_DIAG_BY_FAMILY &&
               reply->nlmsg_len >= NLMSG_LENGTH(sizeof(inet_diag_msg))) {
        const auto* socket = static_cast<const inet_diag_msg*>(NLMSG_DATA(reply));
        // An exact look-up that misses falls back to the listening socket of the port.
        found = socket->id.idiag_dport == htons(remotePort_) && socket->idiag_inode != 0;
        state = socket->idiag_state;
        inode = socket->idiag_inode;
    } else {
        return TcpConnectionState::Unknown;
    }
    const bool established = found && state == TCP_ESTABLISHED;
    if (inode_ == 0) {
        if (established) {
            inode_ = inode;
            return TcpConnectionState::Established;
        }
        // Closed by the peer before anyone looked; anything else is not the connection meant.
        return found && state == TCP_CLOSE_WAIT ? TcpConnectionState::Closing : TcpConnectionState::Unknown;
    }
    return established && inode == inode_ ? TcpConnectionState::Established : TcpConnectionState::Closing;
}

}  // namespace tessaro::platform

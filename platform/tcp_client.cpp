#include "platform/tcp_client.h"
#include "platform/system_calls.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace tessaro::platform {

long SocketErrorFromErrno(int e) {
    switch (e) {
        case EINTR:
            return 10004;
        case EBADF:
            return 10009;
        case EFAULT:
            return 10014;
        case EINVAL:
            return 10022;
        case EMFILE:
            return 10024;
        case EAGAIN:
            return 10035;
        case EINPROGRESS:
            return 10036;
        case EALREADY:
            return 10037;
        case ENOTSOCK:
            return 10038;
        case EDESTADDRREQ:
            return 10039;
        case EMSGSIZE:
            return 10040;
        case EPROTOTYPE:
            return 10041;
        case ENOPROTOOPT:
            return 10042;
        case EPROTONOSUPPORT:
            return 10043;
        case ESOCKTNOSUPPORT:
            return 10044;
        case EOPNOTSUPP:
            return 10045;
        case EPFNOSUPPORT:
            return 10046;
        case EAFNOSUPPORT:
            return 10047;
        case EADDRINUSE:
            return 10048;
        case EADDRNOTAVAIL:
            return 10049;
        case ENETDOWN:
            return 10050;
        case ENETUNREACH:
            return 10051;
        case ENETRESET:
            return 10052;
        case ECONNABORTED:
            return 10053;
        case ECONNRESET:
            return 10054;
        case EPIPE:
            return 10054;
        case ENOBUFS:
            return 10055;
        case EISCONN:
            return 10056;
        case ENOTCONN:
            return 10057;
        case ESHUTDOWN:
            return 10058;
        case ETOOMANYREFS:
            return 10059;
        case ETIMEDOUT:
            return 10060;
        case ECONNREFUSED:
            return 10061;
        case ELOOP:
            return 10062;
        case ENAMETOOLONG:
            return 10063;
        case EHOSTDOWN:
            return 10064;
        case EHOSTUNREACH:
            return 10065;
        case ENOTEMPTY:
            return 10066;
        case EUSERS:
            return 10068;
        case EDQUOT:
            return 10069;
        case ESTALE:
            return 10070;
        case EREMOTE:
            return 10071;
        default:
            return 10000 + e;
    }
}

long SocketErrorFromLookup(int result) {
    switch (result) {
        case EAI_NONAME:
            return 11001;
        case EAI_AGAIN:
            return 11002;
        case EAI_FAIL:
            return 11003;
#ifdef EAI_NODATA
        case EAI_NODATA:
            return 11004;
#endif
        case EAI_SYSTEM:
            return SocketErrorFromErrno(errno);
        default:
            return 11003;
    }
}

TcpClient::~TcpClient() {
    Close(true);
}

long TcpClient::StartConnect(const std::string& host, int port) {
    Close(true);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* list = nullptr;
    int result = SystemCalls().getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
    if (result != 0) return SocketErrorFromLookup(result);
    addresses_ = list;
    next_ = list;
    return ConnectNext();
}

long TcpClient::ConnectNext() {
    long error = 11004;
    while (next_) {
        addrinfo* address = static_cast<addrinfo*>(next_);
        next_ = address->ai_next;
        if (fd_ >= 0) SystemCalls().close(fd_);
        fd_ = SystemCalls().socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address->ai_protocol);
        if (fd_ < 0) {
            error = SocketErrorFromErrno(errno);
            continue;
        }
        if (SystemCalls().connect(fd_, address->ai_addr, address->ai_addrlen) == 0) {
            connected_ = true;
            return 0;
        }
        if (errno == EINPROGRESS) return 0;
        error = SocketErrorFromErrno(errno);
    }
    Close(true);
    return error;
}

long TcpClient::WaitConnected(int sliceMs) {
    if (connected_) return 0;
    if (fd_ < 0) return 10057;
    pollfd p{fd_, POLLOUT, 0};
    int ready = SystemCalls().poll(&p, 1, sliceMs);
    if (ready < 0) return errno == EINTR ? kSocketStillWaiting : SocketErrorFromErrno(errno);
    if (ready == 0) return kSocketStillWaiting;
    int error = 0;
    socklen_t length = sizeof error;
    if (SystemCalls().getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error == 0) {
        connected_ = true;
        return 0;
    }
    // Refused on one address: the host may answer on the next one.
    long mapped = SocketErrorFromErrno(error);
    if (next_) {
        long next = ConnectNext();
        return next == 0 ? kSocketStillWaiting : next;
    }
    Close(true);
    return mapped;
}

long TcpClient::SendSome(const char* data, std::size_t size, std::size_t* sent, int sliceMs) {
    if (!connected_) return 10057;
    while (*sent < size) {
        ssize_t n = SystemCalls().send(fd_, data + *sent, size - *sent, MSG_NOSIGNAL);
        if (n > 0) {
            *sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return SocketErrorFromErrno(errno);
        pollfd p{fd_, POLLOUT, 0};
        int ready = SystemCalls().poll(&p, 1, sliceMs);
        if (ready < 0 && errno != EINTR) return SocketErrorFromErrno(errno);
        if (ready == 0) return kSocketStillWaiting;
    }
    return 0;
}

long TcpClient::ReceiveSome(std::string& out, int sliceMs) {
    if (!connected_) return 10057;
    pollfd p{fd_, POLLIN, 0};
    int ready = SystemCalls().poll(&p, 1, sliceMs);
    if (ready < 0) return errno == EINTR ? kSocketStillWaiting : SocketErrorFromErrno(errno);
    if (ready == 0) return kSocketStillWaiting;
    char buffer[4096];
    ssize_t n = SystemCalls().recv(fd_, buffer, sizeof buffer, 0);
    if (n > 0) {
        out.append(buffer, static_cast<std::size_t>(n));
        return 0;
    }
    if (n == 0) return kSocketPeerClosed;
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return kSocketStillWaiting;
    return SocketErrorFromErrno(errno);
}

void TcpClient::Close(bool abortive) {
    if (fd_ >= 0) {
        if (abortive) {
            linger option{1, 0};
            SystemCalls().setsockopt(fd_, SOL_SOCKET, SO_LINGER, &option, sizeof option);
        }
        SystemCalls().close(fd_);
        fd_ = -1;
    }
    connected_ = false;
    if (addresses_) SystemCalls().freeaddrinfo(static_cast<addrinfo*>(addresses_));
    addresses_ = nullptr;
    next_ = nullptr;
}

std::string TcpClient::LocalAddress() const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (fd_ < 0 || SystemCalls().getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return "127.0.0.1";
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET6) {
        ::inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&address)->sin6_addr, text, sizeof text);
        return std::string("IPv6:") + text;
    }
    ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&address)->sin_addr, text, sizeof text);
    return text;
}

}  // namespace tessaro::platform

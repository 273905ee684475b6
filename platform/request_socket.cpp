#include "platform/request_socket.h"
#include "platform/system_calls.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/home.h"
#include "platform/win32_error.h"

namespace tessaro::platform {

std::string RequestSocketPath() {
    return HomePath("run/PIPE/Tessaro/StubToServer20");
}

namespace {

// False when path does not fit a socket address.
bool FillAddress(const std::string& path, sockaddr_un& address) {
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

timeval ToTimeval(int milliseconds) {
    timeval tv{};
    tv.tv_sec = milliseconds / 1000;
    tv.tv_usec = (milliseconds % 1000) * 1000;
    return tv;
}

}  // namespace

bool LockRequestSocket(const std::string& path, int* lockFd, long* errorNumber) {
    std::string dir = path.substr(0, path.rfind('/'));
    EnsureDirectory(dir);
    if (*lockFd < 0) {
        *lockFd = SystemCalls().open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0660);
        if (*lockFd < 0) {
            *errorNumber = Win32LastErrno();
            return false;
        }
    }
    if (SystemCalls().flock(*lockFd, LOCK_EX | LOCK_NB) != 0) {
        *errorNumber = ERROR_PIPE_BUSY;
        return false;
    }
    return true;
}

int ListenOnRequestSocket(const std::string& path, long* errorNumber) {
    sockaddr_un address;
    if (!FillAddress(path, address)) {
        *errorNumber = ERROR_FILENAME_EXCED_RANGE;
        return -1;
    }
    // Non-blocking: more than one thread may try to take a waiting connection, and the one
    // that finds it gone must not wait for the next (an accepted connection blocks as usual).
    int fd = SystemCalls().socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *errorNumber = Win32LastErrno();
        return -1;
    }
    SystemCalls().unlink(path.c_str());
    // A deep queue of connections not yet accepted: a client that connects waits its turn in
    // it, in order, instead of racing others (that reconnect as fast as they can) for a place.
    if (SystemCalls().bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        SystemCalls().listen(fd, kRequestSocketBacklog) != 0) {
        *errorNumber = Win32LastErrno();
        SystemCalls().close(fd);
        return -1;
    }
    SystemCalls().chmod(path.c_str(), 0660);
    return fd;
}

void CloseRequestSocket(int listenFd, const std::string& path) {
    if (listenFd < 0) return;
    SystemCalls().close(listenFd);
    SystemCalls().unlink(path.c_str());
}

AcceptStatus AcceptRequestConnection(int listenFd, int waitMs, int* client, long* errorNumber) {
    *client = -1;
    pollfd p{listenFd, POLLIN, 0};
    int r = SystemCalls().poll(&p, 1, waitMs);
    if (r < 0 && errno != EINTR) return AcceptStatus::WaitFailed;
    if (r <= 0) return AcceptStatus::Idle;
    int fd = SystemCalls().accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
        *client = fd;
        return AcceptStatus::Accepted;
    }
    if (errno == EINTR || errno == ECONNABORTED || errno == EAGAIN) return AcceptStatus::Retry;
    if (errno == EMFILE || errno == ENFILE) return AcceptStatus::Exhausted;
    *errorNumber = Win32LastErrno();
    return AcceptStatus::AcceptFailed;
}

int TakeWaitingConnection(int listenFd) {
    return SystemCalls().accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
}

ConnectStatus ConnectRequestSocket(const std::string& path, int* fd, long* errorNumber) {
    *fd = -1;
    *errorNumber = 0;
    sockaddr_un address;
    if (!FillAddress(path, address)) {
        *errorNumber = ERROR_FILENAME_EXCED_RANGE;
        return ConnectStatus::Failed;
    }
    // Non-blocking for the connect alone: a full backlog then answers EAGAIN at once.
    int s = SystemCalls().socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0) {
        *errorNumber = Win32LastErrno();
        return ConnectStatus::Failed;
    }
    int rc = RetryOnInterrupt(
        [&] { return SystemCalls().connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address); });
    if (rc != 0) {
        int e = errno;
        SystemCalls().close(s);
        if (e == EAGAIN) {
            *errorNumber = ERROR_PIPE_BUSY;
            return ConnectStatus::Busy;
        }
        if (e == ENOENT || e == ECONNREFUSED) {
            *errorNumber = ERROR_FILE_NOT_FOUND;
            return ConnectStatus::Missing;
        }
        *errorNumber = Win32ErrorFromErrno(e);
        return ConnectStatus::Failed;
    }
    int flags = SystemCalls().fcntl(s, F_GETFL);
    if (flags < 0 || SystemCalls().fcntl(s, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        *errorNumber = Win32LastErrno();
        SystemCalls().close(s);
        return ConnectStatus::Failed;
    }
    *fd = s;
    return ConnectStatus::Connected;
}

void SetSendTimeout(int socket, int timeoutMs) {
    timeval tv = ToTimeval(timeoutMs);
    SystemCalls().setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

void SetReceiveTimeout(int socket, int timeoutMs) {
    timeval tv = ToTimeval(timeoutMs);
    SystemCalls().setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

void ShutdownSocket(int socket) {
    SystemCalls().shutdown(socket, SHUT_RDWR);
}

void ShutdownSending(int socket) {
    SystemCalls().shutdown(socket, SHUT_WR);
}

bool PeerHasClosed(int socket) {
    if (socket < 0) return false;
    pollfd entry{socket, 0, 0};
    // Hang-up is reported whatever the events asked: on a local stream socket it means both
    // directions of the peer are gone, not just its sending one.
    return SystemCalls().poll(&entry, 1, 0) == 1 && (entry.revents & (POLLHUP | POLLERR)) != 0;
}

}  // namespace tessaro::platform

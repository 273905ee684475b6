#include "platform/descriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tessaro::platform {

void CloseDescriptor(int fd) {
    if (fd >= 0) ::close(fd);
}

InputWait WaitForInput(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    int r = ::poll(&p, 1, timeoutMs);
    if (r > 0) return InputWait::Ready;
    if (r == 0) return InputWait::TimedOut;
    return errno == EINTR ? InputWait::Interrupted : InputWait::Failed;
}

InputWait WaitForInputWatchingOutput(int fd, int output, int timeoutMs, bool* outputClosed) {
    *outputClosed = false;
    // No events asked of the output: an error or a hang-up is reported whatever is asked.
    pollfd p[2] = {{fd, POLLIN, 0}, {output, 0, 0}};
    int r = ::poll(p, output >= 0 ? 2 : 1, timeoutMs);
    if (r < 0) return errno == EINTR ? InputWait::Interrupted : InputWait::Failed;
    if (output >= 0 && (p[1].revents & (POLLERR | POLLHUP))) {
        *outputClosed = true;
        return InputWait::Ready;
    }
    if (r == 0) return InputWait::TimedOut;
    return p[0].revents != 0 ? InputWait::Ready : InputWait::TimedOut;
}

bool OutputClosed(int output) {
    if (output < 0) return false;
    pollfd p{output, 0, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLERR | POLLHUP)) != 0;
}

long ReadSome(int fd, void* buffer, std::size_t len) {
    for (;;) {
        ssize_t n = ::read(fd, buffer, len);
        if (n < 0 && errno == EINTR) continue;
        return static_cast<long>(n);
    }
}

long WriteSome(int fd, const void* data, std::size_t len) {
    for (;;) {
        ssize_t n = ::write(fd, data, len);
        if (n < 0 && errno == EINTR) continue;
        return static_cast<long>(n);
    }
}

bool CreatePipe(int* readEnd, int* writeEnd) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    *readEnd = fds[0];
    *writeEnd = fds[1];
    return true;
}

void SignalAndClose(int fd) {
    if (fd < 0) return;
    char done = 1;
    // A reader that has gone away needs no signal.
    if (::write(fd, &done, 1) < 0) {
    }
    ::close(fd);
}

}  // namespace tessaro::platform

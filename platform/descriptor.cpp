#include "platform/descriptor.h"
#include "platform/system_calls.h"
#include "platform/win32_error.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tessaro::platform {

void CloseDescriptor(int fd) {
    if (fd >= 0) SystemCalls().close(fd);
}

std::string DescriptorSelfLink(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

std::string DescriptorRealPath(int fd) {
    char target[4096];
    const ssize_t n = SystemCalls().readlink(DescriptorSelfLink(fd).c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

InputWait WaitForInput(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    int r = SystemCalls().poll(&p, 1, timeoutMs);
    if (r > 0) return InputWait::Ready;
    if (r == 0) return InputWait::TimedOut;
    return errno == EINTR ? InputWait::Interrupted : InputWait::Failed;
}

InputWait WaitForInputWatchingOutput(int fd, int output, int timeoutMs, bool* outputClosed) {
    *outputClosed = false;
    // No events asked of the output: an error or a hang-up is reported whatever is asked.
    pollfd p[2] = {{fd, POLLIN, 0}, {output, 0, 0}};
    int r = SystemCalls().poll(p, output >= 0 ? 2 : 1, timeoutMs);
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
    return SystemCalls().poll(&p, 1, 0) > 0 && (p.revents & (POLLERR | POLLHUP)) != 0;
}

long ReadSome(int fd, void* buffer, std::size_t len) {
    return static_cast<long>(RetryOnInterrupt([&] { return SystemCalls().read(fd, buffer, len); }));
}

long WriteSome(int fd, const void* data, std::size_t len) {
    return static_cast<long>(RetryOnInterrupt([&] { return SystemCalls().write(fd, data, len); }));
}

bool CreatePipe(int* readEnd, int* writeEnd) {
    int fds[2];
    if (SystemCalls().pipe2(fds, O_CLOEXEC) != 0) return false;
    *readEnd = fds[0];
    *writeEnd = fds[1];
    return true;
}

long EmptyFile(int fd) {
    return SystemCalls().ftruncate(fd, 0) == 0 ? ERROR_SUCCESS : Win32LastErrno();
}

void SignalAndClose(int fd) {
    if (fd < 0) return;
    char done = 1;
    // A reader that has gone away needs no signal.
    if (SystemCalls().write(fd, &done, 1) < 0) {
    }
    SystemCalls().close(fd);
}

}  // namespace tessaro::platform

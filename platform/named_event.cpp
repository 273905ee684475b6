#include "platform/named_event.h"
#include "platform/system_calls.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/home.h"
#include "platform/win32_error.h"

namespace tessaro::platform {

namespace {

constexpr std::size_t kMaxObjectName = 200;

std::string SafeName(const std::string& name) {
    std::string out = name;
    for (char& c : out) {
        if (c == '/' || c == '\\') c = '_';
    }
    if (out.empty() || out == "." || out == "..") out = "_" + out;
    return out;
}

}  // namespace

std::string NamedEvent::PathOf(const std::string& name) {
    return HomePath("run/EVENT") + "/" + SafeName(name);
}

NamedEvent::~NamedEvent() {
    if (fd_ >= 0) SystemCalls().close(fd_);
}

std::unique_ptr<NamedEvent> NamedEvent::Create(const std::string& name, long* error) {
    if (name.size() > kMaxObjectName) {
        if (error) *error = ERROR_FILENAME_EXCED_RANGE;
        return nullptr;
    }
    std::string path = PathOf(name);
    if (SystemCalls().mkfifo(path.c_str(), 0620) == 0) {
        SystemCalls().chmod(path.c_str(), 0620);  // the clients' group must be able to write, whatever the umask
    } else if (errno != EEXIST) {
        if (error) *error = Win32LastErrno();
        return nullptr;
    }
    struct stat st;
    if (SystemCalls().stat(path.c_str(), &st) != 0 || !S_ISFIFO(st.st_mode)) {
        if (error) *error = ERROR_ALREADY_EXISTS;
        return nullptr;
    }
    // Read-write: a reader always exists while we hold it, and reads never see EOF.
    int fd = SystemCalls().open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = Win32LastErrno();
        return nullptr;
    }
    if (error) *error = ERROR_SUCCESS;
    return std::unique_ptr<NamedEvent>(new NamedEvent(name, fd));
}

long NamedEvent::Set(const std::string& name) {
    if (name.size() > kMaxObjectName) return ERROR_FILENAME_EXCED_RANGE;
    int fd = SystemCalls().open(PathOf(name).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // No FIFO, or nobody holding it: the event does not exist.
        return errno == ENXIO || errno == ENOENT ? ERROR_FILE_NOT_FOUND : Win32LastErrno();
    }
    const char byte = 1;
    ssize_t n = RetryOnInterrupt([&] { return SystemCalls().write(fd, &byte, 1); });
    // A full pipe already holds the event's set state.
    long result = n == 1 || (n < 0 && errno == EAGAIN) ? ERROR_SUCCESS : Win32LastErrno();
    SystemCalls().close(fd);
    return result;
}

long NamedEvent::Set() {
    const char byte = 1;
    ssize_t n = RetryOnInterrupt([&] { return SystemCalls().write(fd_, &byte, 1); });
    return n == 1 || (n < 0 && errno == EAGAIN) ? ERROR_SUCCESS : Win32LastErrno();
}

bool NamedEvent::Wait(std::uint32_t timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int wait = -1;
        if (timeoutMs != kWaitInfinite) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = left > 0 ? static_cast<int>(left > 0x7FFFFFFF ? 0x7FFFFFFF : left) : 0;
        }
        struct pollfd p {
            fd_, POLLIN, 0
        };
        int rc = SystemCalls().poll(&p, 1, wait);
        if (rc > 0) return (p.revents & POLLIN) != 0;
        if (rc == 0) return false;
        if (errno != EINTR) return false;
    }
}

void NamedEvent::Reset() {
    char buffer[256];
    while (SystemCalls().read(fd_, buffer, sizeof buffer) > 0) {
    }
}

}  // namespace tessaro::platform

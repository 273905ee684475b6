#include "platform/named_mutex.h"
#include "platform/system_calls.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/home.h"
#include "platform/shared_file.h"
#include "platform/win32_error.h"

namespace tessaro::platform {

std::string NamedMutexLock::PathOf(const std::string& name) {
    std::string safe = name;
    for (char& c : safe) {
        if (c == '/' || c == '\\') c = '_';
    }
    if (safe.empty() || safe == "." || safe == "..") safe = "_" + safe;
    return HomePath("run/MUTEX") + "/" + safe;
}

NamedMutexLock::NamedMutexLock(const std::string& name, std::uint32_t timeoutMs) {
    Acquire(name, timeoutMs);
}

NamedMutexLock::~NamedMutexLock() {
    Release();
}

NamedMutexLock::NamedMutexLock(NamedMutexLock&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

NamedMutexLock& NamedMutexLock::operator=(NamedMutexLock&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

long NamedMutexLock::Acquire(const std::string& name, std::uint32_t timeoutMs) {
    Release();
    if (name.size() > 200) return ERROR_FILENAME_EXCED_RANGE;
    int fd = OpenShared(PathOf(name), O_RDWR | O_CREAT);
    if (fd < 0) return Win32LastErrno();
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (SystemCalls().flock(fd, LOCK_EX | LOCK_NB) == 0) {
            fd_ = fd;
            return ERROR_SUCCESS;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            long err = Win32LastErrno();
            SystemCalls().close(fd);
            return err;
        }
        if (timeoutMs != 0xFFFFFFFFu && Clock::now() >= deadline) {
            SystemCalls().close(fd);
            return WAIT_TIMEOUT_ERROR;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void NamedMutexLock::Release() {
    if (fd_ >= 0) {
        SystemCalls().flock(fd_, LOCK_UN);
        SystemCalls().close(fd_);
        fd_ = -1;
    }
}

}  // namespace tessaro::platform

// Named mutexes as flock() on $TESSARO_HOME/run/MUTEX/<name>. Each acquisition
// opens its own descriptor, so threads of one process exclude each other as
// processes do; a dead owner's lock is released by the kernel, which is the
// "abandoned counts as owned" case for the next waiter.
#pragma once

#include <cstdint>
#include <string>

namespace tessaro::platform {

class NamedMutexLock {
public:
    NamedMutexLock() = default;
    // Tries to acquire at once; check Held() or use Acquire() for the error.
    NamedMutexLock(const std::string& name, std::uint32_t timeoutMs);
    ~NamedMutexLock();
    NamedMutexLock(const NamedMutexLock&) = delete;
    NamedMutexLock& operator=(const NamedMutexLock&) = delete;
    NamedMutexLock(NamedMutexLock&& other) noexcept;
    NamedMutexLock& operator=(NamedMutexLock&& other) noexcept;

    // Waits up to timeoutMs (0xFFFFFFFF = for ever). 0 when acquired,
    // 258 (WAIT_TIMEOUT) on time-out, 206 for a name over 200 characters,
    // else a Windows error number.
    long Acquire(const std::string& name, std::uint32_t timeoutMs);
    void Release();
    bool Held() const { return fd_ >= 0; }

    // The lock file of a name. Slashes and backslashes in the name become '_'.
    static std::string PathOf(const std::string& name);

private:
    int fd_ = -1;
};

}  // namespace tessaro::platform

// Unnamed timed locks: the stand-ins for unnamed mutexes and semaphores waited on
// with a time-out.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <semaphore>

namespace tessaro::platform {

using TimedMutex = std::timed_mutex;
using RecursiveTimedMutex = std::recursive_timed_mutex;
using RequestSemaphore = std::counting_semaphore<>;

// Holds a timed mutex for a scope when it could be taken within timeoutMs
// (0xFFFFFFFF waits for ever).
template <class Mutex>
class TimedLockGuard {
public:
    TimedLockGuard(Mutex& mutex, std::uint32_t timeoutMs) : mutex_(mutex) {
        if (timeoutMs == 0xFFFFFFFFu) {
            mutex_.lock();
            held_ = true;
        } else {
            held_ = mutex_.try_lock_for(std::chrono::milliseconds(timeoutMs));
        }
    }
    ~TimedLockGuard() { Release(); }
    TimedLockGuard(const TimedLockGuard&) = delete;
    TimedLockGuard& operator=(const TimedLockGuard&) = delete;

    bool Held() const { return held_; }
    void Release() {
        if (held_) {
            mutex_.unlock();
            held_ = false;
        }
    }

private:
    Mutex& mutex_;
    bool held_ = false;
};

// Takes one count of a semaphore within timeoutMs; true when taken.
inline bool AcquireFor(RequestSemaphore& semaphore, std::uint32_t timeoutMs) {
    if (timeoutMs == 0xFFFFFFFFu) {
        semaphore.acquire();
        return true;
    }
    return semaphore.try_acquire_for(std::chrono::milliseconds(timeoutMs));
}

}  // namespace tessaro::platform

// An unnamed manual-reset event, shared by the service layer and the threads it
// starts (stop event, main-thread termination event).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace tessaro::platform {

class ManualResetEvent {
public:
    void Set() {
        std::lock_guard lock(mutex_);
        set_ = true;
        cv_.notify_all();
    }
    void Reset() {
        std::lock_guard lock(mutex_);
        set_ = false;
    }
    bool IsSet() {
        std::lock_guard lock(mutex_);
        return set_;
    }
    void Wait() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return set_; });
    }
    // True when set within timeoutMs.
    bool WaitFor(std::uint32_t timeoutMs) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return set_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool set_ = false;
};

}  // namespace tessaro::platform

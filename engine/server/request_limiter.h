// Bounds the requests in work: a counting semaphore with a timed wait.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <semaphore>
#include <string>

class CRegistryException;
class CRegistrySettings;

class RequestLimiter {
public:
    static constexpr long kMaxPermits = 100000;

    // The engine's limiter, made once when the process starts: the settings below, read
    // from the registry root (the defaults, and the error line, when it cannot be read).
    RequestLimiter();
    // Reads Server\LimitRequests (1), MaxRequests (15) and MaxSeconds (60).
    explicit RequestLimiter(CRegistrySettings* settings);
    // Explicit limits, for tests and tools.
    RequestLimiter(bool enabled, long maxRequests, long maxSeconds);
    ~RequestLimiter();
    RequestLimiter(const RequestLimiter&) = delete;
    RequestLimiter& operator=(const RequestLimiter&) = delete;

    // givenUp, asked now and then during the wait, ends it without a permit (and without the
    // warning) once it answers true: a request nobody waits for any more.
    bool Acquire(const std::function<bool()>& givenUp = {});
    void Release();

    bool IsEnabled() const { return m_enabled.load(); }
    bool HasSemaphore() const { return m_semaphore != nullptr; }
    long GetActiveCount() const { return m_active.load(); }
    long GetMaxRequests() const { return m_maxRequests; }
    long GetWaitMilliseconds() const { return m_waitMs; }

    // The Windows error report; the limiter stays enabled (it keeps bounding load).
    void ReportLimiterError(const std::string& activity, long errorNumber);

private:
    void ReadSettings(CRegistrySettings* settings);
    // The defaults, and the error line with the registry's error number.
    void ConfigureAfterRegistryError(CRegistryException* e);
    void Configure(bool enabled, long maxRequests, long maxSeconds);

    std::unique_ptr<std::counting_semaphore<kMaxPermits>> m_semaphore;
    std::atomic<long> m_active{0};
    long m_maxRequests = 15;
    long m_waitMs = 60000;
    std::atomic<bool> m_enabled{true};
};

// Holds a permit for one worker; releases it when acquired.
class RequestLimiterGuard {
public:
    explicit RequestLimiterGuard(RequestLimiter* limiter, const std::function<bool()>& givenUp = {})
        : m_limiter(limiter) {
        m_acquired = !limiter || limiter->Acquire(givenUp);
    }
    ~RequestLimiterGuard() {
        if (m_acquired && m_limiter) m_limiter->Release();
    }
    RequestLimiterGuard(const RequestLimiterGuard&) = delete;
    RequestLimiterGuard& operator=(const RequestLimiterGuard&) = delete;
    bool Acquired() const { return m_acquired; }

private:
    RequestLimiter* m_limiter;
    bool m_acquired;
};

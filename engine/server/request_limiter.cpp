#include "engine/server/request_limiter.h"

#include <algorithm>
#include <chrono>

#include "support/registry.h"
#include "support/trace_log.h"

RequestLimiter::RequestLimiter() {
    std::unique_ptr<CRegistryKey> root;
    try {
        root = OpenTessaroRootKey();
    } catch (CRegistryException* e) {
        ConfigureAfterRegistryError(e);
        return;
    }
    CRegistrySettings settings(root.get());
    ReadSettings(&settings);
}

RequestLimiter::RequestLimiter(CRegistrySettings* settings) {
    ReadSettings(settings);
}

void RequestLimiter::ReadSettings(CRegistrySettings* settings) {
    try {
        long enabled = settings ? settings->GetNumber("Server", "LimitRequests", 1) : 1;
        long maxRequests = settings ? settings->GetNumber("Server", "MaxRequests", 15) : 15;
        long maxSeconds = settings ? settings->GetNumber("Server", "MaxSeconds", 60) : 60;
        Configure(enabled != 0, maxRequests, maxSeconds);
    } catch (CRegistryException* e) {
        ConfigureAfterRegistryError(e);
    }
}

void RequestLimiter::ConfigureAfterRegistryError(CRegistryException* e) {
    long code = e->GetErrorCode();
    e->Delete();
    Configure(true, 15, 60);
    ReportLimiterError("attempting to access registry settings", code);
}

RequestLimiter::RequestLimiter(bool enabled, long maxRequests, long maxSeconds) {
    Configure(enabled, maxRequests, maxSeconds);
}

RequestLimiter::~RequestLimiter() = default;

void RequestLimiter::Configure(bool enabled, long maxRequests, long maxSeconds) {
    m_enabled = enabled;
    if (!enabled) return;
    // Out-of-range settings fall back to the defaults rather than to no limit.
    m_maxRequests = (maxRequests >= 1 && maxRequests <= kMaxPermits) ? maxRequests : 15;
    long seconds = (maxSeconds >= 0 && maxSeconds <= 86400) ? maxSeconds : 60;
    m_waitMs = seconds * 1000;
    m_semaphore = std::make_unique<std::counting_semaphore<kMaxPermits>>(m_maxRequests);
}

bool RequestLimiter::Acquire(const std::function<bool()>& givenUp) {
    if (!m_enabled || !m_semaphore) return true;
    // In slices when someone may give the wait up, at once otherwise.
    constexpr long kSliceMs = 100;
    for (long waited = 0;;) {
        const long slice = givenUp ? std::min(kSliceMs, m_waitMs - waited) : m_waitMs - waited;
        if (m_semaphore->try_acquire_for(std::chrono::milliseconds(slice))) {
            ++m_active;
            return true;
        }
        waited += slice;
        if (waited >= m_waitMs) break;
        if (givenUp()) return false;
    }
    WriteTraceLog(
        "SERVER", "Warning",
        "Timed out while waiting for thread semaphore (" + std::to_string(m_active.load()) + " requests are active)");
    return false;
}

void RequestLimiter::Release() {
    if (!m_enabled || !m_semaphore) return;
    m_semaphore->release();
    --m_active;
}

void RequestLimiter::ReportLimiterError(const std::string& activity, long errorNumber) {
    WriteTraceLog("SERVER", "Error",
                  "Unexpected Windows NT error number " + std::to_string(errorNumber) + " occured while " + activity +
                      ". " + std::to_string(m_active.load()) + " requests were active when the error occurred.");
}

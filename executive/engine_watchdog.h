// The engine watchdog: while Server\ServiceRunning says the engine should run, a
// stopped engine service is started again through the service manager.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/service_manager.h"

class CRegistrySettings;
namespace tessaro::platform {
class ManualResetEvent;
}

// The engine is running (or starting) already.
inline constexpr long kEngineAlreadyRunning = tessaro::platform::kErrorServiceAlreadyRunning;
// The machine is shutting down: no start is tried and nothing is logged.
inline constexpr long kShutdownInProgress = 1115;

// Milliseconds between checks for the configured Server\CheckInterval: never
// more than 500, never less than 100 (no busy loop), 0 or negative = the default.
std::uint32_t WatchdogInterval(long configured);

// Starts the engine service when it is not running: 0 when it was started,
// kEngineAlreadyRunning when it runs, else the service manager's error number.
long StartEngineService();

class CEngineWatchdog {
public:
    using Starter = std::function<long()>;
    // settings is not owned; the interval is read once, here.
    explicit CEngineWatchdog(CRegistrySettings& settings, Starter starter = StartEngineService);

    // One check; the milliseconds to wait before the next. A start that keeps failing
    // doubles the wait each time, up to kLongestBackOff, and logs every failure.
    std::uint32_t Check();
    // Checks until stop is set.
    void Run(tessaro::platform::ManualResetEvent& stop);

    std::uint32_t GetInterval() const { return m_interval; }

    static constexpr std::uint32_t kLongestBackOff = 60000;

private:
    CRegistrySettings& m_settings;
    Starter m_starter;
    std::uint32_t m_interval;
    unsigned m_failures = 0;
};

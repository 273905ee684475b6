#include "executive/engine_watchdog.h"

#include <algorithm>

#include "interfaces/engine_names.h"
#include "support/registry.h"
#include "executive/executive_log.h"
#include "platform/scm_event.h"
#include "platform/service_control.h"

namespace plat = tessaro::platform;

namespace {

constexpr long kDefaultCheckInterval = 2000;
constexpr std::uint32_t kShortestInterval = 100;
constexpr std::uint32_t kLongestInterval = 500;

}  // namespace

std::uint32_t WatchdogInterval(long configured) {
    if (configured <= 0) configured = kDefaultCheckInterval;
    return static_cast<std::uint32_t>(std::clamp<long>(configured, kShortestInterval, kLongestInterval));
}

long StartEngineService() {
    plat::CServiceDescription description(kEngineServiceName);
    plat::CServiceControl control(description);
    plat::SERVICE_STATUS status;
    if (!control.QueryStatus(status)) return control.GetLastErrorNumber();
    if (status.dwCurrentState != plat::SERVICE_STOPPED) return kEngineAlreadyRunning;
    if (!control.StartService()) return control.GetLastErrorNumber();
    return 0;
}

CEngineWatchdog::CEngineWatchdog(CRegistrySettings& settings, Starter starter)
    : m_settings(settings),
      m_starter(std::move(starter)),
      m_interval(WatchdogInterval(settings.GetNumber("Server", "CheckInterval", kDefaultCheckInterval))) {}

std::uint32_t CEngineWatchdog::Check() {
    if (m_settings.GetNumber("Server", "ServiceRunning", 0) == 0) {
        m_failures = 0;
        return m_interval;
    }
    long result = m_starter();
    if (result == 0) {
        m_failures = 0;
        ReportExecutive("Information", std::string("The service '") + kEngineServiceName + "' was started again.");
        return m_interval;
    }
    if (result == kEngineAlreadyRunning || result == kShutdownInProgress) {
        m_failures = 0;
        return m_interval;
    }
    ReportExecutive("Error", "Unexpected Windows NT error number " + std::to_string(result) +
                                 " occurred while attempting to start the service.");
    ++m_failures;
    std::uint64_t wait = static_cast<std::uint64_t>(m_interval) << std::min(m_failures, 16u);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(wait, kLongestBackOff));
}

void CEngineWatchdog::Run(plat::ManualResetEvent& stop) {
    std::uint32_t wait = m_interval;
    while (!stop.WaitFor(wait)) wait = Check();
}

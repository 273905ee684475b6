#include "gateway/engine_service.h"

#include <chrono>
#include <thread>

#include "platform/named_event.h"
#include "platform/service_handle.h"

namespace ksml {

namespace scm = tessaro::platform;

namespace {

constexpr const char* kOpenManagerFailed = "Error occurred while attempting to open service control manager.";
constexpr const char* kOpenServiceFailed = "Error occurred while attempt to open service.";

// Opens the manager and the engine's service with one access; false after reporting.
bool OpenEngineService(std::uint32_t access, scm::OpenedService& opened, ErrorReport& errors) {
    if (scm::OpenServiceByName(opened, kEngineServiceName, access, access)) return true;
    errors.Add(opened.manager ? kOpenServiceFailed : kOpenManagerFailed, scm::ScmGetLastError());
    return false;
}

}  // namespace

bool ServiceManagerEngine::QueryServerServiceStatus(std::uint32_t& state, ErrorReport& errors) {
    scm::OpenedService opened;
    if (!OpenEngineService(scm::GENERIC_READ_ACCESS, opened, errors)) return false;
    scm::SERVICE_STATUS status;
    if (!scm::QueryServiceStatus(opened.service.Get(), &status)) {
        errors.Add("Error occurred while attempting to query for the status of the service.", scm::ScmGetLastError());
        return false;
    }
    state = status.dwCurrentState;
    return true;
}

bool ServiceManagerEngine::WaitForServiceRunning(int milliseconds, ErrorReport& errors) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        std::uint32_t state = 0;
        if (!QueryServerServiceStatus(state, errors)) return false;
        if (state == scm::SERVICE_RUNNING) return true;
        // The start was recorded as pending, so STOPPED means the service has already ended
        // (it failed to initialise); waiting longer cannot bring it up.
        if (state == scm::SERVICE_STOPPED) return false;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(settings_.service_poll_ms));
    }
}

bool ServiceManagerEngine::StartServerService(ErrorReport& errors) {
    std::uint32_t state = 0;
    if (!QueryServerServiceStatus(state, errors)) return false;
    if (state == scm::SERVICE_RUNNING) return true;

    scm::OpenedService opened;
    if (!OpenEngineService(scm::GENERIC_EXECUTE_ACCESS, opened, errors)) return false;
    // Another request may have started it a moment ago; then it only needs waiting for.
    if (!scm::StartService(opened.service.Get()) && scm::ScmGetLastError() != scm::kErrorServiceAlreadyRunning) {
        errors.Add("Error occurred while attempting to start service.", scm::ScmGetLastError());
        return false;
    }
    if (!WaitForServiceRunning(settings_.service_start_timeout_ms, errors)) {
        errors.Add("Error occurred while attempting to start service (timed out waiting for service to start).",
                   scm::ScmGetLastError());
        return false;
    }
    return true;
}

bool ServiceManagerEngine::SetServerTerminationEvent(ErrorReport& errors) {
    long error = scm::NamedEvent::Set(kTerminationEventName);
    if (error != 0) {
        errors.Add("Failed to set server termination event.", error);
        return false;
    }
    return true;
}

}  // namespace ksml

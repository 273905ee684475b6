#include "gateway/engine_service.h"

#include <chrono>
#include <thread>

#include "platform/named_event.h"
#include "platform/service_manager.h"

namespace ksml {

namespace scm = tessaro::platform;

namespace {

constexpr const char* kOpenManagerFailed = "Error occurred while attempting to open service control manager.";
constexpr const char* kOpenServiceFailed = "Error occurred while attempt to open service.";

// Closes a service-manager handle on every path.
struct ScHandle {
    scm::SC_HANDLE handle = nullptr;
    explicit ScHandle(scm::SC_HANDLE h) : handle(h) {}
    ~ScHandle() {
        if (handle) scm::CloseServiceHandle(handle);
    }
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
};

// Opens the manager and the engine's service with one access; false after reporting.
bool OpenEngineService(std::uint32_t access, ScHandle& manager, ScHandle& service, ErrorReport& errors) {
    manager.handle = scm::OpenSCManager(access);
    if (!manager.handle) {
        errors.Add(kOpenManagerFailed, scm::ScmGetLastError());
        return false;
    }
    service.handle = scm::OpenService(manager.handle, kEngineServiceName, access);
    if (!service.handle) {
        errors.Add(kOpenServiceFailed, scm::ScmGetLastError());
        return false;
    }
    return true;
}

}  // namespace

bool ServiceManagerEngine::QueryServerServiceStatus(std::uint32_t& state, ErrorReport& errors) {
    ScHandle manager(nullptr), service(nullptr);
    if (!OpenEngineService(scm::GENERIC_READ_ACCESS, manager, service, errors)) return false;
    scm::SERVICE_STATUS status;
    if (!scm::QueryServiceStatus(service.handle, &status)) {
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

    ScHandle manager(nullptr), service(nullptr);
    if (!OpenEngineService(scm::GENERIC_EXECUTE_ACCESS, manager, service, errors)) return false;
    // Another request may have started it a moment ago; then it only needs waiting for.
    if (!scm::StartService(service.handle) && scm::ScmGetLastError() != scm::kErrorServiceAlreadyRunning) {
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

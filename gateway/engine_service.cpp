#include "gateway/engine_service.h"

#include <chrono>
#include <thread>

#include "platform/named_event.h"
#include "platform/service_account.h"
#include "platform/service_handle.h"
#include "platform/win32_error.h"

namespace ksml {

namespace scm = tessaro::platform;

namespace {

constexpr const char* kOpenManagerFailed = "Error occurred while attempting to open service control manager.";
constexpr const char* kOpenServiceFailed = "Error occurred while attempt to open service.";

// What a refusal for want of rights means here: which account the gateway runs as, and what
// it may not reach.
std::string RefusedWords(long error) {
    const std::string me = PageText(scm::CurrentAccountName());
    if (error == scm::ERROR_ACCESS_DENIED) {
        const std::string starter = scm::ScmStarterPath();
        return " The gateway runs as the account '" + me + "'. It reads the service's state in " +
               PageText(scm::ScmServiceDirectory(kEngineServiceName)) + " and starts the service through " +
               PageText(starter) +
               (!scm::ScmStarterInstalled() ? ", which is missing"
                                                      : ", which this account may not run or which refused it") +
               "; both are for the web server's group the service was installed for (as root: tsengine -INSTALL "
               "-WEBGROUP GROUP).";
    }
    if (error == scm::ERROR_SERVICE_LOGON_FAILED) {
        scm::InstalledService service;
        const std::string account =
            scm::GetInstalledService(kEngineServiceName, service) ? service.account : std::string("?");
        return " The service is installed to run as the account '" + PageText(account) +
               "', and the gateway (the account '" + me +
               "') asked the runtime root's starter for its start, which could not run it so: the runtime root must "
               "belong to that account (tsengine -INSTALL, as root, gives it).";
    }
    return {};
}

// Opens the manager and the engine's service with one access; false after reporting.
bool OpenEngineService(std::uint32_t access, scm::OpenedService& opened, ErrorReport& errors) {
    if (scm::OpenServiceByName(opened, kEngineServiceName, access, access)) return true;
    const long error = scm::ScmGetLastError();
    errors.Add((opened.manager ? kOpenServiceFailed : kOpenManagerFailed) + RefusedWords(error), error);
    return false;
}

}  // namespace

bool ServiceManagerEngine::QueryServerServiceStatus(std::uint32_t& state, ErrorReport& errors) {
    scm::OpenedService opened;
    if (!OpenEngineService(scm::GENERIC_READ_ACCESS, opened, errors)) return false;
    scm::SERVICE_STATUS status;
    if (!scm::QueryServiceStatus(opened.service.Get(), &status)) {
        const long error = scm::ScmGetLastError();
        errors.Add("Error occurred while attempting to query for the status of the service." + RefusedWords(error),
                   error);
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
        const long error = scm::ScmGetLastError();
        errors.Add("Error occurred while attempting to start service." + RefusedWords(error), error);
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
        errors.Add(std::string("Failed to set server termination event.") +
                       (error == scm::ERROR_ACCESS_DENIED
                            ? " The gateway runs as the account '" + PageText(scm::CurrentAccountName()) +
                                  "', which may not set " + PageText(scm::NamedEvent::PathOf(kTerminationEventName)) +
                                  " (only the engine's account may)."
                            : std::string()),
                   error);
        return false;
    }
    return true;
}

}  // namespace ksml

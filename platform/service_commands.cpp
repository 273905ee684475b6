#include "platform/service_commands.h"

#include "platform/service_handle.h"

namespace tessaro::platform {

const char* ServiceStateName(std::uint32_t state) {
    switch (state) {
        case SERVICE_STOPPED:
            return "STOPPED";
        case SERVICE_START_PENDING:
            return "START_PENDING";
        case SERVICE_STOP_PENDING:
            return "STOP_PENDING";
        case SERVICE_RUNNING:
            return "RUNNING";
        default:
            return "UNKNOWN";
    }
}

bool InstallServiceProgram(const std::string& name, const std::string& displayName, std::uint32_t startType,
                           const std::string& binary, const std::vector<std::string>& arguments) {
    ServiceHandle manager(OpenSCManager(SC_MANAGER_CREATE_SERVICE));
    if (!manager) return false;
    ServiceHandle service(CreateService(manager.Get(), name, displayName, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                        startType, SERVICE_ERROR_NORMAL, binary, arguments));
    return static_cast<bool>(service);
}

bool RemoveServiceByName(const std::string& name) {
    OpenedService opened;
    return OpenServiceByName(opened, name, SERVICE_ALL_ACCESS, SERVICE_ALL_ACCESS) &&
           DeleteService(opened.service.Get());
}

bool StartServiceByName(const std::string& name) {
    OpenedService opened;
    return OpenServiceByName(opened, name, GENERIC_EXECUTE_ACCESS, GENERIC_EXECUTE_ACCESS) &&
           StartService(opened.service.Get());
}

bool ControlServiceByName(const std::string& name, std::uint32_t control) {
    OpenedService opened;
    SERVICE_STATUS status;
    return OpenServiceByName(opened, name, GENERIC_EXECUTE_ACCESS, GENERIC_EXECUTE_ACCESS) &&
           ControlService(opened.service.Get(), control, &status);
}

bool QueryServiceByName(const std::string& name, SERVICE_STATUS& status) {
    OpenedService opened;
    return OpenServiceByName(opened, name, GENERIC_READ_ACCESS, GENERIC_READ_ACCESS) &&
           QueryServiceStatus(opened.service.Get(), &status);
}

std::string ServiceStatusText(const std::string& name, const SERVICE_STATUS& status) {
    auto line = [](const char* label, std::uint32_t value) {
        return std::string(label) + ": " + std::to_string(value) + "\n";
    };
    return "SERVICE_NAME: " + name + "\n" + "STATE: " + std::to_string(status.dwCurrentState) + " " +
           ServiceStateName(status.dwCurrentState) + "\n" + line("CHECKPOINT", status.dwCheckPoint) +
           line("WAIT_HINT", status.dwWaitHint) + line("WIN32_EXIT_CODE", status.dwWin32ExitCode) +
           line("SERVICE_EXIT_CODE", status.dwServiceSpecificExitCode) +
           line("CONTROLS_ACCEPTED", status.dwControlsAccepted);
}

std::vector<ListedService> ListServices() {
    std::vector<ListedService> listed;
    for (InstalledService& service : EnumInstalledServices()) {
        SERVICE_STATUS status;
        const char* state =
            QueryServiceByName(service.name, status) ? ServiceStateName(status.dwCurrentState) : "UNKNOWN";
        listed.push_back({std::move(service), state});
    }
    return listed;
}

std::vector<ServiceFailure> StartAutomaticServices() {
    std::vector<ServiceFailure> failures;
    for (const InstalledService& service : EnumInstalledServices()) {
        if (service.startType != SERVICE_AUTO_START) continue;
        OpenedService opened;
        if (!OpenServiceByName(opened, service.name, GENERIC_EXECUTE_ACCESS, GENERIC_EXECUTE_ACCESS)) continue;
        if (!StartService(opened.service.Get()) && ScmGetLastError() != kErrorServiceAlreadyRunning)
            failures.push_back({service.name, ScmGetLastError()});
    }
    return failures;
}

void ShutdownAllServices() {
    for (const InstalledService& service : EnumInstalledServices())
        ControlServiceByName(service.name, SERVICE_CONTROL_SHUTDOWN);
}

}  // namespace tessaro::platform

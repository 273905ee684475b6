// The service manager's administration as tsscm offers it (install, remove, start, stop,
// query, list, boot, shutdown), without the command line. Each call is false on failure
// with the service error in ScmGetLastError.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/service_manager.h"

namespace tessaro::platform {

// "STOPPED", "START_PENDING", "STOP_PENDING", "RUNNING" or "UNKNOWN".
const char* ServiceStateName(std::uint32_t state);

// Installs an own-process service that runs binary with arguments on every start.
bool InstallServiceProgram(const std::string& name, const std::string& displayName, std::uint32_t startType,
                           const std::string& binary, const std::vector<std::string>& arguments);
// Removes the service (a running one keeps running until it ends).
bool RemoveServiceByName(const std::string& name);
// Asks for the start; a service already running is a failure (1056).
bool StartServiceByName(const std::string& name);
// Sends a control code (SERVICE_CONTROL_STOP, ...).
bool ControlServiceByName(const std::string& name, std::uint32_t control);
bool QueryServiceByName(const std::string& name, SERVICE_STATUS& status);
// The status as tsscm query prints it: SERVICE_NAME, STATE, CHECKPOINT, ... one a line.
std::string ServiceStatusText(const std::string& name, const SERVICE_STATUS& status);

// Every installed service with its state ("UNKNOWN" when it cannot be queried).
struct ListedService {
    InstalledService service;
    const char* state = "UNKNOWN";
};
std::vector<ListedService> ListServices();

// Starts every automatic service not running yet; the services that failed, with their error.
struct ServiceFailure {
    std::string name;
    long error = 0;
};
std::vector<ServiceFailure> StartAutomaticServices();
// Sends the shutdown control to every installed service that can be reached.
void ShutdownAllServices();

}  // namespace tessaro::platform

// A small service control manager in place of the NT one. Each installed
// service is a folder $TESSARO_HOME/scm/<folded name>/ holding:
//   config   key=value lines (names, binary path, start type, account, environment)
//   status   the last reported status, replaced atomically
//   lock     locked by the running service for its whole life (liveness); others only test it
//   control  a FIFO the running service reads control codes from
// A service runs as the account it was installed for (config Account), whoever starts it:
// root's start gives the service that account; the account itself starts it directly; anyone
// else (the web server's gateway) through the runtime root's starter bin/tsstart, which runs
// the start as the account the root belongs to (see platform/service_starter.cpp).
// Installing and removing are one rename each: a service folder appears whole, and a removed
// one is renamed out of the way (scm/.gone-*) before it is deleted, so that a start racing with
// either can never leave half a service behind.
// Failing calls return false/null and leave a Windows error number in
// ScmGetLastError() (1056, 1060, 1062, 1063, 1069, 1072, 1073, ...).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaro::platform {

// Service states, controls and access masks with their Windows values.
constexpr std::uint32_t SERVICE_STOPPED = 1;
constexpr std::uint32_t SERVICE_START_PENDING = 2;
constexpr std::uint32_t SERVICE_STOP_PENDING = 3;
constexpr std::uint32_t SERVICE_RUNNING = 4;

constexpr std::uint32_t SERVICE_CONTROL_STOP = 1;
constexpr std::uint32_t SERVICE_CONTROL_INTERROGATE = 4;
constexpr std::uint32_t SERVICE_CONTROL_SHUTDOWN = 5;

constexpr std::uint32_t SERVICE_ACCEPT_STOP = 1;
constexpr std::uint32_t SERVICE_ACCEPT_SHUTDOWN = 4;

constexpr std::uint32_t SERVICE_WIN32_OWN_PROCESS = 16;
constexpr std::uint32_t SERVICE_INTERACTIVE_PROCESS = 256;
constexpr std::uint32_t SERVICE_AUTO_START = 2;
constexpr std::uint32_t SERVICE_DEMAND_START = 3;
constexpr std::uint32_t SERVICE_ERROR_NORMAL = 1;

constexpr std::uint32_t SC_MANAGER_CREATE_SERVICE = 2;
constexpr std::uint32_t SERVICE_ALL_ACCESS = 0xF01FF;
constexpr std::uint32_t GENERIC_READ_ACCESS = 0x80000000u;
constexpr std::uint32_t GENERIC_EXECUTE_ACCESS = 0x20000000u;

// Windows error numbers this layer reports.
constexpr long kErrorFileNotFound = 2;
constexpr long kErrorAccessDenied = 5;
constexpr long kErrorInvalidServiceControl = 1052;
constexpr long kErrorServiceAlreadyRunning = 1056;
constexpr long kErrorServiceDoesNotExist = 1060;
constexpr long kErrorServiceNotActive = 1062;
constexpr long kErrorFailedServiceControllerConnect = 1063;
constexpr long kErrorServiceExists = 1073;

struct SERVICE_STATUS {
    std::uint32_t dwServiceType = 0;
    std::uint32_t dwCurrentState = 0;
    std::uint32_t dwControlsAccepted = 0;
    std::uint32_t dwWin32ExitCode = 0;
    std::uint32_t dwServiceSpecificExitCode = 0;
    std::uint32_t dwCheckPoint = 0;
    std::uint32_t dwWaitHint = 0;
};

struct ScHandleData;
using SC_HANDLE = ScHandleData*;

// Last error of this layer's calls on the calling thread.
long ScmGetLastError();
void ScmSetLastError(long errorNumber);

// The scm/ root of the current TESSARO_HOME and the folder of one service.
std::string ScmRootDirectory();
std::string ScmFoldServiceName(const std::string& name);
std::string ScmServiceDirectory(const std::string& name);

SC_HANDLE OpenSCManager(std::uint32_t desiredAccess);
SC_HANDLE OpenService(SC_HANDLE manager, const std::string& name, std::uint32_t desiredAccess);
// binaryPath is the program; arguments are given to it on every start. account is the one it
// runs as (empty: the caller's); installed by root for another account, the service's folder
// is that account's.
SC_HANDLE CreateService(SC_HANDLE manager, const std::string& name, const std::string& displayName,
                        std::uint32_t desiredAccess, std::uint32_t serviceType, std::uint32_t startType,
                        std::uint32_t errorControl, const std::string& binaryPath,
                        const std::vector<std::string>& arguments = {}, const std::string& account = {});
bool CloseServiceHandle(SC_HANDLE handle);
// Removes a stopped service at once; a running one is marked (it is started no more) and
// goes once it has stopped.
bool DeleteService(SC_HANDLE service);
// Finishes the removals of services that have stopped since they were marked.
void ScmCompleteRemovals();
bool StartService(SC_HANDLE service);
bool ControlService(SC_HANDLE service, std::uint32_t control, SERVICE_STATUS* status);
bool QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status);

// Installed services (display order: folded name), for listing and boot.
struct InstalledService {
    std::string name;
    std::string displayName;
    std::string binaryPath;
    std::uint32_t startType = 0;
    std::string account;  // the account it runs as
};
std::vector<InstalledService> EnumInstalledServices();
// The installed service of that name; false with 1060 when there is none.
bool GetInstalledService(const std::string& name, InstalledService& service);

// The runtime root's service starter, $TESSARO_HOME/bin/tsstart, and whether it is there.
std::string ScmStarterPath();
bool ScmStarterInstalled();
// Set by the starter in the environment of the start it runs as the service's account: that
// start never asks the starter again.
constexpr const char* kScmStarterEnv = "TESSARO_SCM_STARTER";

// --- service process side ---------------------------------------------------

using ServiceMainFunction = void (*)(std::uint32_t argc, char** argv);
using ServiceHandlerFunction = void (*)(std::uint32_t control);

struct SERVICE_TABLE_ENTRY {
    std::string serviceName;
    ServiceMainFunction serviceProc = nullptr;
};

struct ServiceStatusHandleData;
using SERVICE_STATUS_HANDLE = ServiceStatusHandleData*;

// Set by StartService in the environment of the process it spawns.
constexpr const char* kScmServiceEnv = "TESSARO_SCM_SERVICE";

// Runs the service main of the entry named by TESSARO_SCM_SERVICE on a new thread
// and feeds it control codes until it returns. Fails with 1063 when the process
// was not started by the service manager. Must be called before other threads
// exist (it blocks SIGTERM, which it takes as STOP).
bool StartServiceCtrlDispatcher(const std::vector<SERVICE_TABLE_ENTRY>& table);
SERVICE_STATUS_HANDLE RegisterServiceCtrlHandler(const std::string& name, ServiceHandlerFunction handler);
bool SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS& status);

}  // namespace tessaro::platform

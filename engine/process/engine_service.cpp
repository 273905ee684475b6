#include "engine/process/engine_service.h"

#include <iostream>

#include "engine/process/engine.h"
#include "engine/server/engine_mode.h"
#include "engine/server/odbc_service_environment.h"
#include "engine/server/server_error_log.h"
#include "platform/program_path.h"
#include "platform/service_control.h"
#include "platform/win32_error.h"

using namespace tessaro::platform;

tessaro::platform::ServiceThreadProc CEngineService::GetThreadProc() {
    return [this](ManualResetEvent* terminationEvent) { return m_engine.MainThread(terminationEvent); };
}

bool CEngineService::Init(long*, std::string& errorText) {
    return m_engine.InitializeServer(errorText, true, m_mailFailed);
}

void CEngineService::LogServerError(const std::string& text, long errorNumber) {
    ::LogServerError(text, errorNumber);
}

void InstallEngineService() {
    long error = 0;
    std::string path = ProgramPath(&error);
    if (path.empty()) {
        ::LogServerError("Error attempting to determine module file name", error);
        return;
    }
    CServiceDescription description(kEngineServiceName, kEngineServiceName, path, SERVICE_AUTO_START,
                                    SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS, SERVICE_ALL_ACCESS,
                                    SERVICE_ERROR_NORMAL);
    const std::string odbc = ChooseServiceOdbcEnvironment();
    CServiceControl control(description);
    if (control.InstallService()) {
        std::cout << odbc << std::endl;
        return;
    }
    if (control.GetLastErrorNumber() == ERROR_SERVICE_EXISTS)
        ::LogServerError(
            std::string("Error: The service '") + kEngineServiceName + "' is already installed on this machine.", 0);
    else
        ::LogServerError("Error attempting to install the service", control.GetLastErrorNumber());
}

void RemoveEngineService() {
    CServiceDescription description(kEngineServiceName);
    CServiceControl control(description);
    if (control.RemoveService()) return;
    if (control.GetLastErrorNumber() == ERROR_SERVICE_DOES_NOT_EXIST)
        ::LogServerError(
            std::string("Error: The service '") + kEngineServiceName + "' is not currently installed on this machine.",
            0);
    else
        ::LogServerError("Error attempting to remove the service", control.GetLastErrorNumber());
}

void StopInstalledEngineService() {
    CServiceDescription description(kEngineServiceName);
    CServiceControl control(description);
    control.StopService();
}

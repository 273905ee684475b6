#include "engine/server/engine_service.h"

#include <unistd.h>

#include "engine/server/engine_globals.h"
#include "engine/server/engine_server.h"
#include "engine/server/engine_threads.h"
#include "engine/server/server_error_log.h"
#include "platform/service_control.h"
#include "platform/win32_error.h"

using namespace tessaro::platform;

tessaro::platform::ServiceThreadProc CEngineService::GetThreadProc() { return MainThread; }

bool CEngineService::Init(long* errorNumber, std::string& errorText) {
    return InitializeServer(errorNumber, errorText, true, &m_mailFailed);
}

void CEngineService::LogServerError(const std::string& text, long errorNumber) {
    ::LogServerError(text, errorNumber);
}

std::string GetModuleFileName(long* errorNumber) {
    char buf[1040];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buf - 1) {
        if (errorNumber) *errorNumber = n <= 0 ? Win32LastErrno() : ERROR_INSUFFICIENT_BUFFER;
        return {};
    }
    return std::string(buf, static_cast<std::size_t>(n));
}

void InstallEngineService() {
    long error = 0;
    std::string path = GetModuleFileName(&error);
    if (path.empty()) {
        ::LogServerError("Error attempting to determine module file name", error);
        return;
    }
    CServiceDescription description(kEngineServiceName, kEngineServiceName, path, SERVICE_AUTO_START,
                                    SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS, SERVICE_ALL_ACCESS,
                                    SERVICE_ERROR_NORMAL);
    CServiceControl control(description);
    if (control.InstallService()) return;
    if (control.GetLastErrorNumber() == ERROR_SERVICE_EXISTS)
        ::LogServerError(std::string("Error: The service '") + kEngineServiceName + "' is already installed on this machine.", 0);
    else
        ::LogServerError("Error attempting to install the service", control.GetLastErrorNumber());
}

void RemoveEngineService() {
    CServiceDescription description(kEngineServiceName);
    CServiceControl control(description);
    if (control.RemoveService()) return;
    if (control.GetLastErrorNumber() == ERROR_SERVICE_DOES_NOT_EXIST)
        ::LogServerError(std::string("Error: The service '") + kEngineServiceName + "' is not currently installed on this machine.", 0);
    else
        ::LogServerError("Error attempting to remove the service", control.GetLastErrorNumber());
}

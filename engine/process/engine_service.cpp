#include "engine/process/engine_service.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

#include "engine/process/engine.h"
#include "engine/server/engine_mode.h"
#include "engine/server/odbc_service_environment.h"
#include "engine/server/server_error_log.h"
#include "platform/error_words.h"
#include "platform/service_control.h"
#include "platform/service_install.h"
#include "platform/win32_error.h"

using namespace tessaro::platform;

namespace {

// How long -REMOVE and -DESKTOP wait for the service to stop: the service layer itself
// gives its main thread 10 s.
constexpr std::uint32_t kStopWaitMs = 20000;

// A failure goes to the SERVER log and to whoever typed the command.
void Report(const std::string& text, long errorNumber) {
    ::LogServerError(text, errorNumber);
    std::fprintf(stderr, "tsengine: %s%s\n", text.c_str(),
                 errorNumber != 0 ? (" (error " + ErrorNumberWithWords(errorNumber) + ")").c_str() : "");
}

std::string Quoted(const char* name) {
    return std::string("'") + name + "'";
}

}  // namespace

tessaro::platform::ServiceThreadProc CEngineService::GetThreadProc() {
    return [this](ManualResetEvent* terminationEvent) { return m_engine.MainThread(terminationEvent); };
}

bool CEngineService::Init(long*, std::string& errorText) {
    return m_engine.InitializeServer(errorText, true, m_mailFailed);
}

void CEngineService::LogServerError(const std::string& text, long errorNumber) {
    ::LogServerError(text, errorNumber);
}

bool InstallEngineService(const EngineSwitches& switches) {
    PreparedServiceInstall prepared;
    std::string why;
    if (!PrepareServiceInstall("tsengine", {switches.account, switches.webGroup}, prepared, &why)) {
        Report("Error attempting to install the service: " + why, 0);
        return false;
    }
    CServiceDescription description(kEngineServiceName, kEngineServiceName, prepared.binaryPath, SERVICE_AUTO_START,
                                    SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS, SERVICE_ALL_ACCESS,
                                    SERVICE_ERROR_NORMAL);
    description.SetAccount(prepared.account.name);
    const std::string odbc = ChooseServiceOdbcEnvironment();
    CServiceControl control(description);
    const bool installed = control.InstallService();
    const long error = control.GetLastErrorNumber();
    if (installed) {
        std::cout << DescribeServiceInstall(kEngineServiceName, prepared) << "\n" << odbc << std::endl;
    } else if (error == ERROR_SERVICE_EXISTS) {
        Report(std::string("Error: The service ") + Quoted(kEngineServiceName) + " is already installed on this machine.",
               0);
    } else if (error == ERROR_SERVICE_MARKED_FOR_DELETE) {
        Report(std::string("Error: The service ") + Quoted(kEngineServiceName) +
                   " was removed but is still stopping; install it again once it has stopped.",
               0);
    } else {
        Report("Error attempting to install the service", error);
    }
    FinishServiceInstall(prepared);
    return installed || error == ERROR_SERVICE_EXISTS;
}

bool RemoveEngineService() {
    CServiceDescription description(kEngineServiceName);
    CServiceControl control(description);
    SERVICE_STATUS status;
    const bool wasRunning = control.QueryStatus(status) && status.dwCurrentState != SERVICE_STOPPED;
    if (control.RemoveService()) {
        // The stop is waited for: a service removed while it still runs would hold the
        // engine's socket against the one installed next. It is gone once it no longer
        // answers: having said "stopped", its process may still hold the service's lock for
        // a moment, and only then can the removal be completed.
        bool stopped = !wasRunning;
        for (std::uint32_t waited = 0; !stopped && waited <= kStopWaitMs; waited += 100) {
            ScmCompleteRemovals();
            stopped = !control.QueryStatus(status);
            if (!stopped) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ScmCompleteRemovals();
        std::cout << "Removed the service " << Quoted(kEngineServiceName)
                  << (!stopped    ? ": it did not stop in time, and goes once it has stopped."
                      : wasRunning ? " (it was running and has been stopped)."
                                   : ".")
                  << std::endl;
        return true;
    }
    if (control.GetLastErrorNumber() == ERROR_SERVICE_DOES_NOT_EXIST) {
        Report(std::string("Error: The service ") + Quoted(kEngineServiceName) +
                   " is not currently installed on this machine.",
               0);
        return true;
    }
    Report("Error attempting to remove the service", control.GetLastErrorNumber());
    return false;
}

bool StopInstalledEngineService() {
    CServiceDescription description(kEngineServiceName);
    CServiceControl control(description);
    SERVICE_STATUS status;
    if (!control.QueryStatus(status) || status.dwCurrentState == SERVICE_STOPPED) return true;
    control.StopService();
    if (WaitForServiceState(kEngineServiceName, SERVICE_STOPPED, kStopWaitMs, 100)) return true;
    Report(std::string("The service ") + Quoted(kEngineServiceName) + " did not stop within " +
               std::to_string(kStopWaitMs / 1000) +
               " seconds; the desktop engine does not start beside it (it would have no window and deliver no mail).",
           0);
    return false;
}

#include "executive/executive_service.h"

#include <thread>

#include "support/registry.h"
#include "support/text_helpers.h"
#include "executive/client_purge.h"
#include "executive/engine_watchdog.h"
#include "executive/executive_log.h"
#include "platform/path_util.h"
#include "platform/program_path.h"
#include "platform/scm_event.h"
#include "platform/service_control.h"

namespace plat = tessaro::platform;

namespace {

// Each worker reads through settings of its own root key: the store's handles
// keep per-handle state and are not shared between threads.
template <typename Body>
void RunWithSettings(Body body) {
    try {
        std::unique_ptr<CRegistryKey> root = OpenTessaroRootKey();
        CRegistrySettings settings(root.get());
        body(settings);
    } catch (CRegistryException* e) {
        ReportExecutive("Error", e->GetErrorMessage());
        e->Delete();
    }
}

}  // namespace

CTSExecutiveService::CTSExecutiveService() = default;
CTSExecutiveService::~CTSExecutiveService() = default;

plat::ServiceThreadProc CTSExecutiveService::GetThreadProc() {
    return ExecutiveMainThread;
}

bool CTSExecutiveService::Init(long*, std::string& errorText) {
    try {
        m_root = OpenTessaroRootKey();
        m_settings = std::make_unique<CRegistrySettings>(m_root.get());
    } catch (CRegistryException* e) {
        errorText = e->GetErrorMessage().substr(0, 9999);
        e->Delete();
        return false;
    } catch (const std::bad_alloc&) {
        errorText = "Error attempting to allocate memory in CTSExecutiveService::OnStart.";
        return false;
    } catch (...) {
        errorText = "Error occurred for unknown cause in CTSExecutiveService::OnStart.";
        return false;
    }
    ReportExecutive("Information", std::string("The service '") + kExecutiveServiceName + "' started.");
    return true;
}

void CTSExecutiveService::OnShutdown() {
    try {
        if (m_settings) m_settings->Set("Server", "ServiceRunning", "0");
    } catch (CRegistryException* e) {
        ReportExecutive("Error", e->GetErrorMessage());
        e->Delete();
    }
}

void CTSExecutiveService::LogServerError(const std::string& text, long errorNumber) {
    std::string line = text;
    if (errorNumber != 0)
        line += (line.empty() ? "" : " ") + std::string("Windows NT error number ") + std::to_string(errorNumber) +
                " occurred.";
    ReportExecutive("Error", line);
}

unsigned ExecutiveMainThread(plat::ManualResetEvent* stopEvent) {
    // The workers end with the service, so a stop ends the process promptly.
    plat::ManualResetEvent workersStop;
    std::thread purge([&] { RunWithSettings([&](CRegistrySettings& s) { RunClientPurge(s, workersStop); }); });
    std::thread watchdog([&] { RunWithSettings([&](CRegistrySettings& s) { CEngineWatchdog(s).Run(workersStop); }); });
    stopEvent->Wait();
    workersStop.Set();
    watchdog.join();
    purge.join();
    ReportExecutive("Information", std::string("The service '") + kExecutiveServiceName + "' stopped.");
    return 0;
}

void InstallExecutiveService() {
    long error = 0;
    std::string path = plat::ProgramPath(&error);
    if (path.empty()) {
        ReportWindowsError(error, "determine the module file name");
        return;
    }
    plat::CServiceDescription description(kExecutiveServiceName, kExecutiveServiceName, path, plat::SERVICE_AUTO_START,
                                          plat::SERVICE_WIN32_OWN_PROCESS | plat::SERVICE_INTERACTIVE_PROCESS,
                                          plat::SERVICE_ALL_ACCESS, plat::SERVICE_ERROR_NORMAL);
    plat::CServiceControl control(description);
    if (!control.InstallService()) ReportWindowsError(control.GetLastErrorNumber(), "install the service");
}

void RemoveExecutiveService() {
    plat::CServiceDescription description(kExecutiveServiceName);
    plat::CServiceControl control(description);
    if (!control.RemoveService()) ReportWindowsError(control.GetLastErrorNumber(), "remove the service");
}

int RunExecutive(const std::string& arguments) {
    std::string upper = UpperCopy(arguments);
    if (upper.find("-INSTALL") != std::string::npos) {
        InstallExecutiveService();
    } else if (upper.find("-REMOVE") != std::string::npos) {
        RemoveExecutiveService();
    } else {
        CTSExecutiveService service;
        long error = 0;
        if (!plat::RunServiceDispatcher(kExecutiveServiceName, &service, &error))
            ReportWindowsError(error, std::string("Initialize the ") + kExecutiveServiceName + " service");
    }
    return 0;
}

#include "executive/executive_service.h"

#include <cstdio>
#include <thread>

#include "support/registry.h"
#include "support/text_helpers.h"
#include "executive/client_purge.h"
#include "executive/engine_watchdog.h"
#include "executive/executive_log.h"
#include "platform/error_words.h"
#include "platform/path_util.h"
#include "platform/runtime_root_owner.h"
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

void InstallExecutiveService(const plat::ServiceInstallRequest& request) {
    plat::PreparedServiceInstall prepared;
    std::string why;
    if (!plat::PrepareServiceInstall("tsexec", request, prepared, &why)) {
        ReportExecutive("Error", "Error attempting to install the service: " + why);
        std::fprintf(stderr, "tsexec: could not install the service '%s': %s\n", kExecutiveServiceName, why.c_str());
        return;
    }
    plat::CServiceDescription description(kExecutiveServiceName, kExecutiveServiceName, prepared.binaryPath,
                                          plat::SERVICE_AUTO_START,
                                          plat::SERVICE_WIN32_OWN_PROCESS | plat::SERVICE_INTERACTIVE_PROCESS,
                                          plat::SERVICE_ALL_ACCESS, plat::SERVICE_ERROR_NORMAL);
    description.SetAccount(prepared.account.name);
    plat::CServiceControl control(description);
    if (control.InstallService()) {
        std::printf("%s\n", plat::DescribeServiceInstall(kExecutiveServiceName, prepared).c_str());
    } else {
        ReportWindowsError(control.GetLastErrorNumber(), "install the service");
        std::fprintf(stderr, "tsexec: could not install the service '%s': error %s\n", kExecutiveServiceName,
                     plat::ErrorNumberWithWords(control.GetLastErrorNumber()).c_str());
    }
    plat::FinishServiceInstall(prepared);
}

void RemoveExecutiveService() {
    plat::CServiceDescription description(kExecutiveServiceName);
    plat::CServiceControl control(description);
    if (control.RemoveService()) {
        std::printf("Removed the service '%s'.\n", kExecutiveServiceName);
        return;
    }
    ReportWindowsError(control.GetLastErrorNumber(), "remove the service");
    std::fprintf(stderr, "tsexec: could not remove the service '%s': error %s\n", kExecutiveServiceName,
                 plat::ErrorNumberWithWords(control.GetLastErrorNumber()).c_str());
}

int RunExecutive(const std::vector<std::string>& arguments) {
    std::string upper;
    plat::ServiceInstallRequest request;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string word = UpperCopy(arguments[i]);
        if ((word == "-ACCOUNT" || word == "-WEBGROUP") && i + 1 < arguments.size()) {
            (word == "-ACCOUNT" ? request.account : request.webGroup) = arguments[++i];
            continue;
        }
        upper += word + " ";
    }
    if (upper.find("-INSTALL") != std::string::npos) {
        InstallExecutiveService(request);
        return 0;
    }
    // Everything else works on the account's files, as the account.
    const plat::RootGiveUp given = plat::GiveUpRootForRuntimeRoot();
    if (given.outcome == plat::RootGiveUp::Failed ||
        (given.outcome == plat::RootGiveUp::RootsRoot && upper.find("-REMOVE") == std::string::npos)) {
        std::fprintf(stderr,
                     "tsexec: the executive service does not run as root; the runtime root %s belongs to '%s'. "
                     "Install it as root first (tsexec -INSTALL gives the root to the service account).\n",
                     given.root.c_str(), given.account.c_str());
        return 0;
    }
    if (upper.find("-REMOVE") != std::string::npos) {
        RemoveExecutiveService();
    } else {
        CTSExecutiveService service;
        long error = 0;
        if (!plat::RunServiceDispatcher(kExecutiveServiceName, &service, &error))
            ReportWindowsError(error, std::string("Initialize the ") + kExecutiveServiceName + " service");
    }
    return 0;
}

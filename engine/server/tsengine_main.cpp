// tsengine: the long-running engine, as a service or a desktop program.
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "database/access/connection_pool.h"
#include "engine/server/engine_globals.h"
#include "engine/server/engine_server.h"
#include "engine/server/engine_service.h"
#include "engine/server/engine_subsystems.h"
#include "engine/server/engine_switches.h"
#include "engine/server/engine_threads.h"
#include "engine/server/mail_spooler.h"
#include "engine/server/request_worker.h"
#include "engine/server/server_error_log.h"
#include "engine/templates/template_actions.h"
#include "platform/process_environment.h"
#include "platform/scm_event.h"
#include "platform/window.h"
#include "support/text_helpers.h"

namespace {

CEngineService g_engineService;

int RunDesktop() {
    // Close signals reach the window loop only; block them before any thread starts.
    tessaro::platform::BlockCloseSignals();
    std::string errorText;
    bool mailFailed = false;
    if (!InitializeServer(nullptr, errorText, false, &mailFailed)) {
        if (mailFailed) return 1;
        LogServerError(errorText, 0);
        return 0;
    }
    tessaro::platform::ManualResetEvent termination;
    SetMainTerminationEvent(&termination);
    try {
        std::thread main(MainThread, &termination);
        main.join();
    } catch (const std::system_error& e) {
        LogServerError("Error attempting to create main thread.", e.code().value());
    }
    SetMainTerminationEvent(nullptr);
    return 0;
}

// A worker that outlived the shutdown wait must not run into the process's
// static destructors: such an end skips them.
int EndProcess(int code) {
    if (ActiveRequestWorkers() > 0) std::_Exit(code);
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    tessaro::platform::IgnoreBrokenPipes();
    InstallTemplateSubsystems();
    TheEngineSubsystems().buildConnectionPool = CreateConnectionPool;
    InstallMailSpooler(TheEngineSubsystems());
    const EngineSwitches switches =
        ParseEngineSwitches(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0)));
    if (switches.install) {
        InstallEngineService();
        return 0;
    }
    if (switches.remove) {
        RemoveEngineService();
        return 0;
    }
    SetDesktopRequested(switches.desktop);
    if (!IsServiceMode()) return EndProcess(RunDesktop());
    long error = 0;
    if (!tessaro::platform::RunServiceDispatcher(kEngineServiceName, &g_engineService, &error)) {
        LogServerError("Error attempting to initialize the service", error);
        return 0;
    }
    return EndProcess(g_engineService.MailSpoolerFailed() ? 1 : 0);
}

#include "engine/process/engine_run.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>
#include <thread>

#include "engine/process/engine_server.h"
#include "engine/process/engine_service.h"
#include "engine/process/engine_threads.h"
#include "engine/server/engine_globals.h"
#include "engine/server/request_worker.h"
#include "engine/server/server_error_log.h"
#include "platform/error_words.h"
#include "platform/scm_event.h"
#include "platform/win32_error.h"
#include "platform/window.h"

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

int RunEngine(const EngineSwitches& switches) {
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
        // Started from a shell rather than by the service manager: the person there is told too.
        if (error == tessaro::platform::ERROR_FAILED_SERVICE_CONTROLLER_CONNECT)
            std::fprintf(stderr,
                         "tsengine: error %s. Start the service with tsscm start '%s', or run tsengine -desktop "
                         "in the foreground; tsengine --help lists the switches.\n",
                         tessaro::platform::ErrorNumberWithWords(error).c_str(), kEngineServiceName);
        return 0;
    }
    return EndProcess(g_engineService.MailSpoolerFailed() ? 1 : 0);
}

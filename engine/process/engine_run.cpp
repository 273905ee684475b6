#include "engine/process/engine_run.h"

#include <cstdio>
#include <cstdlib>

#include "engine/process/engine.h"
#include "engine/process/engine_service.h"
#include "engine/server/engine_mode.h"
#include "engine/server/server_error_log.h"
#include "platform/error_words.h"
#include "platform/scm_service_host.h"
#include "platform/win32_error.h"

namespace {

// Something that outlived the shutdown's wait must not run into the engine's end (or the
// process's static destructors): such an end skips them.
int EndProcess(const CEngine& engine, int code) {
    if (engine.StillRunning()) std::_Exit(code);
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
    if (!IsServiceMode(switches)) {
        // The Windows 95 road without these switches leaves the service manager alone.
        if (switches.desktop) StopInstalledEngineService();
        CEngine engine(switches);
        return EndProcess(engine, engine.RunDesktop());
    }
    CEngine engine(switches);
    CEngineService service(engine);
    long error = 0;
    if (!tessaro::platform::RunServiceDispatcher(kEngineServiceName, &service, &error)) {
        LogServerError("Error attempting to initialize the service", error);
        // Started from a shell rather than by the service manager: the person there is told too.
        if (error == tessaro::platform::ERROR_FAILED_SERVICE_CONTROLLER_CONNECT)
            std::fprintf(stderr,
                         "tsengine: error %s. Start the service with tsscm start '%s', or run tsengine -desktop "
                         "in the foreground; tsengine --help lists the switches.\n",
                         tessaro::platform::ErrorNumberWithWords(error).c_str(), kEngineServiceName);
        return EndProcess(engine, 0);
    }
    return EndProcess(engine, service.MailSpoolerFailed() ? 1 : 0);
}

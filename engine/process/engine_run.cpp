#include "engine/process/engine_run.h"

#include <cstdio>
#include <cstdlib>

#include "engine/process/engine.h"
#include "engine/process/engine_service.h"
#include "engine/server/engine_mode.h"
#include "engine/server/server_error_log.h"
#include "platform/error_words.h"
#include "platform/runtime_root_owner.h"
#include "platform/scm_service_host.h"
#include "platform/service_account.h"
#include "platform/win32_error.h"

namespace {

namespace plat = tessaro::platform;

// Something that outlived the shutdown's wait must not run into the engine's end (or the
// process's static destructors): such an end skips them.
int EndProcess(const CEngine& engine, int code) {
    if (engine.StillRunning()) std::_Exit(code);
    return code;
}

// Started by root in any way, the engine becomes the account its runtime root belongs to
// before it reads a setting or a template; it never serves as root. False (told on standard
// error, and in the SERVER log when that is safe) when it cannot; rootMayStay lets a root
// that belongs to root keep root (the removal of its service needs nothing else).
bool GiveUpRoot(bool rootMayStay = false) {
    const plat::RootGiveUp given = plat::GiveUpRootForRuntimeRoot();
    if (rootMayStay && given.outcome == plat::RootGiveUp::RootsRoot) return true;
    switch (given.outcome) {
        case plat::RootGiveUp::NotRoot:
        case plat::RootGiveUp::Dropped:
            break;
        case plat::RootGiveUp::RootsRoot: {
            // The root is root's: a log line written as root harms nothing there.
            const std::string text = "The engine does not serve as root, and the runtime root " + given.root +
                                     " belongs to root. Install the service as root first (tsengine -INSTALL gives "
                                     "the root to the service account '" +
                                     plat::kDefaultServiceAccount +
                                     "'), or start tsengine as the account that owns the runtime root.";
            LogServerError(text, 0);
            std::fprintf(stderr, "tsengine: %s\n", text.c_str());
            return false;
        }
        case plat::RootGiveUp::Failed:
            std::fprintf(stderr, "tsengine: could not become the account '%s' that owns %s: error %s\n",
                         given.account.c_str(), given.root.c_str(), plat::ErrorNumberWithWords(given.error).c_str());
            return false;
    }
    // Whatever the road, root stays behind.
    if (!rootMayStay && plat::ProcessHasRootIdentity()) {
        std::fprintf(stderr, "tsengine: still root after giving root up; the engine does not serve as root\n");
        return false;
    }
    return true;
}

}  // namespace

int RunEngine(const EngineSwitches& switches) {
    if (switches.install) return InstallEngineService(switches) ? 0 : 1;
    if (switches.remove) {
        // The removal touches only the service's files, which are the account's: it runs as
        // the account, and what it logs stays the account's.
        if (!GiveUpRoot(true)) return 1;
        return RemoveEngineService() ? 0 : 1;
    }
    if (!GiveUpRoot()) return 1;
    if (!IsServiceMode(switches)) {
        // The Windows 95 road without these switches leaves the service manager alone.
        if (switches.desktop && !StopInstalledEngineService()) return 1;
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

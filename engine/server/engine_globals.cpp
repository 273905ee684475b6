#include "engine/server/engine_globals.h"

#include <cstdlib>
#include <mutex>

#include "platform/service_control.h"
#include "support/text_helpers.h"

namespace {

bool g_desktopRequested = false;
std::atomic<tessaro::platform::ManualResetEvent*> g_mainTermination{nullptr};

}  // namespace

std::atomic<int>& ListeningFlag() {
    static std::atomic<int> flag{1};
    return flag;
}

bool IsWindows95() {
    const char* v = std::getenv("TESSARO_WIN95");
    return v && std::string(v) == "1";
}

void SetDesktopRequested(bool desktop) {
    g_desktopRequested = desktop;
}

bool IsServiceMode() {
    static bool serviceMode = [] {
        if (g_desktopRequested) {
            tessaro::platform::CServiceDescription description(kEngineServiceName);
            tessaro::platform::CServiceControl control(description);
            control.StopService();
            return false;
        }
        return !IsWindows95();
    }();
    return serviceMode;
}

void SetMainTerminationEvent(tessaro::platform::ManualResetEvent* event) {
    g_mainTermination = event;
}

tessaro::platform::ManualResetEvent* GetMainTerminationEvent() {
    return g_mainTermination.load();
}

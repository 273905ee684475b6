#include "engine/server/engine_globals.h"

#include <cstdlib>
#include <mutex>

#include "platform/service_control.h"
#include "support/text_helpers.h"

namespace {

std::string g_commandLine;
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

void SetEngineCommandLine(const std::string& wholeLine) { g_commandLine = wholeLine; }

bool IsServiceMode() {
    static bool serviceMode = [] {
        std::string upper = UpperCopy(g_commandLine);
        if (upper.find("-DEBUG") != std::string::npos || upper.find("-DESKTOP") != std::string::npos) {
            tessaro::platform::CServiceDescription description(kEngineServiceName);
            tessaro::platform::CServiceControl control(description);
            control.StopService();
            return false;
        }
        return !IsWindows95();
    }();
    return serviceMode;
}

void SetMainTerminationEvent(tessaro::platform::ManualResetEvent* event) { g_mainTermination = event; }

tessaro::platform::ManualResetEvent* GetMainTerminationEvent() { return g_mainTermination.load(); }

#include "engine/server/engine_mode.h"

#include "platform/process_environment.h"

bool IsWindows95() {
    return tessaro::platform::EnvironmentValue("TESSARO_WIN95") == "1";
}

bool IsServiceMode(const EngineSwitches& switches) {
    return !switches.desktop && !IsWindows95();
}

#include "engine/server/engine_mode.h"

#include <cstdlib>
#include <string>

bool IsWindows95() {
    const char* v = std::getenv("TESSARO_WIN95");
    return v && std::string(v) == "1";
}

bool IsServiceMode(const EngineSwitches& switches) {
    return !switches.desktop && !IsWindows95();
}

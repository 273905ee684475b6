// tsengine: the long-running engine, as a service or a desktop program.
//   tsengine [-INSTALL | -REMOVE | -DEBUG | -DESKTOP | --help]
#include <cstdio>
#include <string>
#include <vector>

#include "engine/process/engine_run.h"
#include "engine/server/engine_switches.h"
#include "platform/process_environment.h"

int main(int argc, char** argv) {
    tessaro::platform::IgnoreBrokenPipes();
    const EngineSwitches switches =
        ParseEngineSwitches(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0)));
    if (switches.help) {
        std::fputs(EngineUsage(), stdout);
        return 0;
    }
    return RunEngine(switches);
}

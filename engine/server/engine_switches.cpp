#include "engine/server/engine_switches.h"

#include "support/text_helpers.h"

EngineSwitches ParseEngineSwitches(const std::vector<std::string>& arguments) {
    EngineSwitches switches;
    for (const std::string& argument : arguments) {
        const std::string upper = UpperCopy(argument);
        if (upper == "-INSTALL")
            switches.install = true;
        else if (upper == "-REMOVE")
            switches.remove = true;
        else if (upper == "-DEBUG" || upper == "-DESKTOP")
            switches.desktop = true;
        else if (upper == "--HELP" || upper == "-HELP" || upper == "-H" || upper == "-?" || upper == "/?")
            switches.help = true;
    }
    return switches;
}

const char* EngineUsage() {
    return "usage: tsengine [-INSTALL | -REMOVE | -DESKTOP | -DEBUG | --help]\n"
           "  -INSTALL  install the engine as the service \"Brendlow Tessaro 2.0\" (it records ODBCSYSINI\n"
           "            and ODBCINI and says which), then end\n"
           "  -REMOVE   remove the service (stopping it first), then end\n"
           "  -DESKTOP  run in the foreground instead of as the service, which is stopped first;\n"
           "            Ctrl-C ends it (-DEBUG is the same)\n"
           "  --help    print this text and end (also -h and -?)\n"
           "Switches are read in any case. Without one, tsengine runs as the service and must be\n"
           "started by the service manager: tsscm start 'Brendlow Tessaro 2.0'. Every program reads\n"
           "its runtime root from TESSARO_HOME (default /var/lib/tessaro).\n";
}

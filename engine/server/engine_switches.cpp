#include "engine/server/engine_switches.h"

#include "support/text_helpers.h"

EngineSwitches ParseEngineSwitches(const std::vector<std::string>& arguments) {
    EngineSwitches switches;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const std::string upper = UpperCopy(argument);
        if ((upper == "-ACCOUNT" || upper == "-WEBGROUP") && i + 1 < arguments.size())
            (upper == "-ACCOUNT" ? switches.account : switches.webGroup) = arguments[++i];
        else if (upper == "-INSTALL")
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
    return "usage: tsengine [-INSTALL [-ACCOUNT NAME] [-WEBGROUP GROUP] | -REMOVE | -DESKTOP | -DEBUG | --help]\n"
           "  -INSTALL  install the engine as the service \"Brendlow Tessaro 2.0\" (it records ODBCSYSINI\n"
           "            and ODBCINI and says which), then end. It installs the programs into the\n"
           "            runtime root's bin/ and lib/. Run by root, the service runs as the account\n"
           "            -ACCOUNT names (default: tessaro, made when missing), the runtime root becomes\n"
           "            that account's, and the web server's group -WEBGROUP names (default: www-data)\n"
           "            may connect to the engine's request socket; run by anyone else, it runs as them\n"
           "  -REMOVE   remove the service (stopping it first and waiting for it), then end\n"
           "  -DESKTOP  run in the foreground instead of as the service, which is stopped first;\n"
           "            Ctrl-C ends it (-DEBUG is the same)\n"
           "  --help    print this text and end (also -h and -?)\n"
           "Switches are read in any case. Without one, tsengine runs as the service and must be\n"
           "started by the service manager: tsscm start 'Brendlow Tessaro 2.0'. Started by root in\n"
           "any way, the engine runs as the account its runtime root belongs to, and never as root.\n"
           "Every program reads its runtime root from TESSARO_HOME (default /var/lib/tessaro).\n";
}

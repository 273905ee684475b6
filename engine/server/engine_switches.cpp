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
    }
    return switches;
}

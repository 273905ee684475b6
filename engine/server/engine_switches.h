// The switches tsengine understands. Each argument is compared whole, in any case:
// -INSTALL and -REMOVE (install or remove the service, then end; -INSTALL wins when
// both are given), -DEBUG and -DESKTOP (run in the foreground), and --HELP, -HELP, -H, -?
// and /? (print the switches, then end; before any other). -ACCOUNT and -WEBGROUP take the
// next argument as it stands: the account the service runs as and the web server's group
// (for -INSTALL run by root). Other arguments are ignored.
#pragma once

#include <string>
#include <vector>

struct EngineSwitches {
    bool install = false;
    bool remove = false;
    bool desktop = false;
    bool help = false;
    std::string account;   // -ACCOUNT NAME
    std::string webGroup;  // -WEBGROUP NAME
};

// The arguments after the program name.
EngineSwitches ParseEngineSwitches(const std::vector<std::string>& arguments);

// What --help prints: the switches and how the engine runs without one.
const char* EngineUsage();

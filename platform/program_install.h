// The programs a runtime root's services and its web server run, installed into the root
// itself: <root>/bin (the programs, and the libraries that are looked for beside them) and
// <root>/lib (the libraries looked for in ../lib). So they are within reach of the service
// account and of the web server wherever the build lies (a checkout under /root, mode 0700,
// say), and a rebuild does not change what a running service runs.
//
// When root installs, both folders and every file in them are root's and writable by nobody
// else (a file the build left root's and unwritable by others is linked, anything else is
// copied), and the service starter bin/tsstart is installed set-user-id root, runnable only by
// root and the web server's group (see platform/service_starter.cpp).
#pragma once

#include <string>
#include <sys/types.h>

namespace tessaro::platform {

// The programs installed, beside the libraries.
inline constexpr const char* kInstalledPrograms[] = {"tsengine", "tsexec", "tsreports", "tsscm",
                                                     "tsreg",    "tsevent", "ksml"};
inline constexpr const char* kServiceStarterProgram = "tsstart";

struct ProgramInstallResult {
    std::string binFolder;  // <root>/bin
    int installed = 0;      // files put in place (linked or copied)
    int unchanged = 0;      // files already there as they are in the build
};

// Installs from the build folder fromBin (the running program's folder; its libraries'
// folder is fromBin/../lib). With a starter, webGroup is its group. False with the reason.
bool InstallRuntimePrograms(const std::string& fromBin, const std::string& root, bool withStarter, gid_t webGroup,
                            ProgramInstallResult& result, std::string* error);

}  // namespace tessaro::platform

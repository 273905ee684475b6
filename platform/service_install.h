// What -INSTALL does around the service manager's CreateService, for tsengine and tsexec
// alike: the account the service runs as, the web server's group, the programs installed into
// the runtime root and the root given to the account.
//
// Run by root: the account is the one named, or the system's own (kDefaultServiceAccount,
// made when missing); never root. The web server's group is the one named, or
// kDefaultWebGroup. The programs go into <root>/bin (with the starter), and the root becomes
// the account's as runtime_root_owner.h describes. Run by anyone else: the service runs as that
// user, who must not name another account or a group; the programs are installed all the same.
#pragma once

#include <string>
#include <sys/types.h>

#include "platform/program_install.h"
#include "platform/service_account.h"

namespace tessaro::platform {

struct ServiceInstallRequest {
    std::string account;   // empty: the default
    std::string webGroup;  // empty: the default (root only)
};

struct PreparedServiceInstall {
    std::string root;
    AccountIdentity account;
    bool accountMade = false;
    bool asRoot = false;
    std::string webGroup;  // root only
    gid_t webGroupId = 0;
    ProgramInstallResult programs;
    std::string binaryPath;  // the installed copy of the program being installed
};

// Everything up to CreateService, for the program of that name (tsengine, tsexec). False
// with the reason in *error.
bool PrepareServiceInstall(const std::string& program, const ServiceInstallRequest& request,
                           PreparedServiceInstall& prepared, std::string* error);

// After CreateService (made or not): what was made as root during the installation becomes
// the account's too.
void FinishServiceInstall(const PreparedServiceInstall& prepared);

// The sentence -INSTALL prints when the service was installed.
std::string DescribeServiceInstall(const std::string& serviceName, const PreparedServiceInstall& prepared);

}  // namespace tessaro::platform

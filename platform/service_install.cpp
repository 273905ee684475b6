#include "platform/service_install.h"

#include <unistd.h>

#include "platform/home.h"
#include "platform/program_path.h"
#include "platform/request_socket.h"
#include "platform/runtime_root_owner.h"

namespace tessaro::platform {

bool PrepareServiceInstall(const std::string& program, const ServiceInstallRequest& request,
                           PreparedServiceInstall& prepared, std::string* error) {
    prepared = PreparedServiceInstall{};
    prepared.root = RuntimeRootPath();
    prepared.asRoot = ::geteuid() == 0;
    auto refuse = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    if (prepared.asRoot) {
        const std::string name = request.account.empty() ? kDefaultServiceAccount : request.account;
        if (request.account.empty()) {
            std::string why;
            if (!EnsureSystemAccount(name, TESSARO_DEFAULT_HOME, &prepared.accountMade, &why)) return refuse(why);
        }
        if (!LookUpAccount(name, prepared.account))
            return refuse("there is no account '" + name + "' (name an existing one with -ACCOUNT)");
        if (prepared.account.uid == 0)
            return refuse("the service is never installed to run as root (name another account with -ACCOUNT)");
        prepared.webGroup = request.webGroup.empty() ? kDefaultWebGroup : request.webGroup;
        if (!LookUpGroup(prepared.webGroup, prepared.webGroupId))
            return refuse("there is no group '" + prepared.webGroup +
                          "' for the web server (name the web server's group with -WEBGROUP)");
    } else {
        if (!LookUpAccountById(::geteuid(), prepared.account))
            return refuse("this process's user (uid " + std::to_string(::geteuid()) + ") is no account");
        if (!request.account.empty() && request.account != prepared.account.name)
            return refuse("only root installs a service for another account than its own ('" + request.account +
                          "'); the service would run as '" + prepared.account.name + "'");
        if (!request.webGroup.empty())
            return refuse("only root gives the web server's group ('" + request.webGroup +
                          "') its way to the engine; installed by '" + prepared.account.name +
                          "', the service is reached by the web server only when it runs as '" +
                          prepared.account.name + "' too");
    }
    std::string why;
    // A root installed afresh (the recipe's /var/lib/tessaro) is made here; as root, it is given
    // away below.
    if (long error = EnsureDirectory(prepared.root); error != 0)
        return refuse("the runtime root " + prepared.root + " could not be made (Windows NT error number " +
                      std::to_string(error) + ")");
    if (!InstallRuntimePrograms(ProgramDirectory(), prepared.root, prepared.asRoot, prepared.webGroupId,
                                prepared.programs, &why))
        return refuse("the programs could not be installed into " + prepared.root + "/bin: " + why);
    prepared.binaryPath = prepared.programs.binFolder + "/" + program;
    if (prepared.asRoot && !GiveRuntimeRoot(prepared.root, prepared.account, prepared.webGroupId, &why))
        return refuse("the runtime root could not be given to the account '" + prepared.account.name + "': " + why);
    return true;
}

void FinishServiceInstall(const PreparedServiceInstall& prepared) {
    if (prepared.asRoot) GiveRuntimeRoot(prepared.root, prepared.account, prepared.webGroupId, nullptr);
}

std::string DescribeServiceInstall(const std::string& serviceName, const PreparedServiceInstall& prepared) {
    std::string text = "Installed the service '" + serviceName + "': it runs " + prepared.binaryPath +
                       " as the account '" + prepared.account.name + "'" +
                       (prepared.accountMade ? " (made now: a system account without a login shell)" : "") + ".";
    text += " The programs are in " + prepared.programs.binFolder + " (" +
            std::to_string(prepared.programs.installed) + " put in place, " +
            std::to_string(prepared.programs.unchanged) + " unchanged).";
    if (prepared.asRoot)
        text += " The runtime root " + prepared.root + " is the account's; the web server's group '" +
                prepared.webGroup + "' may connect to " + RequestSocketPath() +
                " and read the services' state, and write nothing else of it.";
    return text;
}

}  // namespace tessaro::platform

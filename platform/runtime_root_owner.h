// Who a runtime root belongs to, and giving it to the account its services run as (what
// -INSTALL does when root installs). A root given to an account looks so:
//   the root folder      the account's, group the web server's, 0710 (the web server may
//                        only pass through it)
//   run/, run/PIPE/      the same; run/PIPE/Tessaro/ also hands its group down (2710), so the
//                        request socket the engine makes there is the web server's to connect to
//   scm/ and each service folder   group the web server's, 2750: the gateway reads a
//                        service's state (config, status and lock 0640) and writes nothing
//   registry.db*         0600; windows/ log/ tmp/ machines/ Mail/ tsr/ and run/EVENT, run/MUTEX,
//                        run/WND: 0700
//   everything else      the account's, its modes kept
//   bin/ and lib/        the installed programs: root's, never the account's (see program_install.h)
// Nothing else of the root is writable by the web server's group.
#pragma once

#include <string>
#include <sys/types.h>

#include "platform/service_account.h"

namespace tessaro::platform {

// The owner of the runtime root folder; false when it cannot be looked at.
bool RuntimeRootOwner(const std::string& root, uid_t* owner);

// Makes the standard folders and gives the root to the account as above. Hard-linked files
// of other owners and links are never followed. False with the reason in *error.
bool GiveRuntimeRoot(const std::string& root, const AccountIdentity& account, gid_t webGroup, std::string* error);

// A program started by root gives root up for the account its runtime root belongs to, before
// it touches anything of the root (so that nothing there becomes root's, and nothing runs as
// root that need not).
struct RootGiveUp {
    enum Outcome {
        NotRoot,    // the process was not root
        Dropped,    // it now runs as the root's account
        RootsRoot,  // the runtime root belongs to root (or does not exist): nothing to become
        Failed,     // becoming the account failed (error)
    } outcome = NotRoot;
    std::string root;     // the runtime root
    std::string account;  // its owner
    long error = 0;       // a Windows error number when Failed
};
RootGiveUp GiveUpRootForRuntimeRoot();

}  // namespace tessaro::platform

// The accounts services run as: finding them (in /etc/passwd and /etc/group, where useradd
// puts the system's own; the statically linked gateway has no name-service modules to ask),
// making the system's own one, and a process becoming one for good. A service runs as the account it was installed for, whoever asks for
// its start; a process started by root that should run as a service account gives root up
// before it reads anything of its runtime root.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace tessaro::platform {

// The account -INSTALL records when root installs without naming one (made when missing:
// a system account with a group of its own, no login shell, no home folder of its own).
inline constexpr const char* kDefaultServiceAccount = "tessaro";
// The group of the web server whose gateway reaches the engine's request socket.
inline constexpr const char* kDefaultWebGroup = "www-data";

struct AccountIdentity {
    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;
    // Its supplementary groups, resolved in advance so that taking them on needs no lookup.
    std::vector<gid_t> groups;
};

// False with ERROR_NONE_MAPPED (1332) when there is no such account.
bool LookUpAccount(const std::string& name, AccountIdentity& account, long* errorNumber = nullptr);
bool LookUpAccountById(uid_t uid, AccountIdentity& account, long* errorNumber = nullptr);
// False with 1332 when there is no such group.
bool LookUpGroup(const std::string& name, gid_t& group, long* errorNumber = nullptr);
// The name of an account or a group, or "uid N" / "gid N" when it has none.
std::string AccountName(uid_t uid);
std::string GroupName(gid_t gid);
// The account this process runs as (its effective user).
std::string CurrentAccountName();

// True when any of the process's real, effective or saved user ids is root's.
bool ProcessHasRootIdentity();
// True when the process runs as exactly this account (all three user ids).
bool ProcessRunsAs(const AccountIdentity& account);

// Makes the system account when it is missing; true when it exists afterwards (*created
// tells whether this call made it). Several callers at once are fine: the one that loses the
// race finds the account made. False with the reason in *error.
bool EnsureSystemAccount(const std::string& name, const std::string& homeFolder, bool* created, std::string* error);

// Gives up root for the account for good: its groups, then its group, then its user (real,
// effective and saved). Only system calls, so that it may run between fork and exec. An
// account of uid 0 is refused (ERROR_SERVICE_LOGON_FAILED). ERROR_SUCCESS, or the Windows
// number of the failure.
long BecomeAccount(const AccountIdentity& account);

// The same for a whole program at its start: false with a Windows error number.
bool RunAsAccount(const AccountIdentity& account, long* errorNumber);

}  // namespace tessaro::platform

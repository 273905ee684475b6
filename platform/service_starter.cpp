// tsstart NAME: starts the installed service NAME of the runtime root this copy was installed
// into, as the account that root belongs to. The service manager runs it for a caller that may
// neither start the service itself nor become its account: the web server's gateway finding
// the engine stopped.
//
// It runs set-user-id root, so it trusts nothing of its caller: not the environment, not the
// current folder, not a path. The runtime root is the folder above the one it lies in (as the
// kernel names its file); that folder bin/ must be root's and writable by nobody else (an
// account cannot make such a folder, nor move this file into one); the account is the owner of
// the runtime root, and never root. It becomes that account for good (groups, group, user)
// before anything else and then runs bin/tsscm start NAME of the same root, with an
// environment of its own. Whatever the service's settings say, nothing runs as anyone but the
// account that owns the root, so the starter gives nobody more than "start that service".
//
// Failures go to standard error as "tsstart: error N (words): what", N a Windows error number;
// the exit status is then 1 (2 for a wrong command line). On success it is tsscm's.
#include "platform/service_starter.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr long kAccessDenied = 5;
constexpr long kInvalidParameter = 87;
constexpr long kLogonFailed = 1069;
constexpr std::size_t kMaxServiceName = 256;

int Refuse(long number, const char* words, const std::string& what) {
    std::fprintf(stderr, "tsstart: error %ld (%s): %s\n", number, words, what.c_str());
    return number == kInvalidParameter ? 2 : 1;
}

bool PlainName(const char* name) {
    std::size_t length = std::strlen(name);
    if (length == 0 || length > kMaxServiceName) return false;
    for (const char* c = name; *c; ++c)
        if (static_cast<unsigned char>(*c) < 0x20 || *c == 0x7f) return false;
    return true;
}

// Root's, and nobody else may write it.
bool RootsAlone(const struct stat& st) {
    return st.st_uid == 0 && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string Parent(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

}  // namespace

int tessaro::platform::RunServiceStarter(int argc, char** argv) {
    if (argc != 2 || !PlainName(argv[1]))
        return Refuse(kInvalidParameter, "a parameter is not valid", "usage: tsstart SERVICE-NAME");
    const std::string service = argv[1];
    uid_t real = 0, effective = 0, saved = 0;
    if (::getresuid(&real, &effective, &saved) != 0 || effective != 0)
        return Refuse(kAccessDenied, "access is denied", "the starter is not installed set-user-id root");

    char exe[4096];
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return Refuse(kAccessDenied, "access is denied", "the starter cannot find its own file");
    exe[n] = '\0';
    const std::string bin = Parent(exe);
    const std::string root = Parent(bin);

    int rootFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat rootStat {};
    if (rootFd < 0 || ::fstat(rootFd, &rootStat) != 0)
        return Refuse(kAccessDenied, "access is denied", root + ": " + std::strerror(errno));
    int binFd = ::openat(rootFd, "bin", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat binStat {};
    if (binFd < 0 || ::fstat(binFd, &binStat) != 0 || !RootsAlone(binStat))
        return Refuse(kAccessDenied, "access is denied",
                      bin + " is not a programs folder of root's that only root may change");
    struct stat managerStat {};
    if (::fstatat(binFd, "tsscm", &managerStat, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(managerStat.st_mode) ||
        !RootsAlone(managerStat))
        return Refuse(kAccessDenied, "access is denied", bin + "/tsscm is missing or not root's alone");

    const uid_t owner = rootStat.st_uid;
    if (owner == 0)
        return Refuse(kLogonFailed, "the service cannot run as the account it was installed for",
                      "the runtime root " + root + " belongs to root, and no service is started as root");
    const passwd* entry = ::getpwuid(owner);
    if (!entry)
        return Refuse(kLogonFailed, "the service cannot run as the account it was installed for",
                      "the owner of " + root + " (uid " + std::to_string(owner) + ") is no account");
    const std::string account = entry->pw_name;
    const gid_t group = entry->pw_gid;
    std::vector<gid_t> groups(64);
    int count = static_cast<int>(groups.size());
    if (::getgrouplist(account.c_str(), group, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        if (::getgrouplist(account.c_str(), group, groups.data(), &count) < 0) count = 0;
    }
    groups.resize(static_cast<std::size_t>(count > 0 ? count : 0));
    if (groups.empty()) groups.push_back(group);

    if (::setgroups(groups.size(), groups.data()) != 0 || ::setresgid(group, group, group) != 0 ||
        ::setresuid(owner, owner, owner) != 0 || ::getresuid(&real, &effective, &saved) != 0 || real != owner ||
        effective != owner || saved != owner)
        return Refuse(kLogonFailed, "the service cannot run as the account it was installed for",
                      "the starter could not become the account '" + account + "': " + std::strerror(errno));

    ::clearenv();
    ::setenv("TESSARO_HOME", root.c_str(), 1);
    ::setenv("PATH", "/usr/bin:/bin", 1);
    ::setenv("TESSARO_SCM_STARTER", "1", 1);
    ::umask(077);
    if (::chdir("/") != 0) {
    }
    ::close_range(3, ~0u, 0);
    const std::string manager = bin + "/tsscm";
    char start[] = "start";
    std::string name = service;
    char* arguments[] = {const_cast<char*>(manager.c_str()), start, name.data(), nullptr};
    ::execv(manager.c_str(), arguments);
    return Refuse(kAccessDenied, "access is denied", manager + ": " + std::strerror(errno));
}

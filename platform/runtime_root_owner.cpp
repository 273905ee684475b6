#include "platform/runtime_root_owner.h"
#include "platform/system_calls.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/home.h"

namespace tessaro::platform {

namespace {

// Folders made before the root is given away, parents first.
constexpr const char* kStandardFolders[] = {"run",     "run/EVENT", "run/MUTEX", "run/WND", "run/PIPE",
                                            "run/PIPE/Tessaro", "windows", "log", "tmp", "scm", "machines"};

// The programs folders: root's (program_install.h), never given away.
bool IsProgramsFolder(const std::string& relative) {
    return relative == "bin" || relative == "lib";
}

struct Placement {
    bool webGroup = false;  // group: the web server's, else the account's
    mode_t mode = 0;        // 0: the mode is kept
};

std::size_t Depth(const std::string& relative) {
    if (relative.empty()) return 0;
    std::size_t depth = 1;
    for (char c : relative) depth += c == '/';
    return depth;
}

std::string Leaf(const std::string& relative) {
    std::size_t slash = relative.rfind('/');
    return slash == std::string::npos ? relative : relative.substr(slash + 1);
}

Placement FolderPlacement(const std::string& relative) {
    if (relative.empty() || relative == "run" || relative == "run/PIPE") return {true, 0710};
    if (relative == "run/PIPE/Tessaro") return {true, 02710};
    if (relative == "scm" || (relative.rfind("scm/", 0) == 0 && Depth(relative) == 2)) return {true, 02750};
    for (const char* folder : {"run/EVENT", "run/MUTEX", "run/WND", "windows", "log", "tmp", "machines", "Mail", "tsr"})
        if (relative == folder) return {false, 0700};
    return {};
}

Placement FilePlacement(const std::string& relative) {
    const std::string leaf = Leaf(relative);
    if (Depth(relative) == 1 && leaf.rfind("registry.db", 0) == 0) return {false, 0600};
    if (relative.rfind("scm/", 0) == 0 && Depth(relative) == 3) {
        if (leaf == "config" || leaf == "status" || leaf == "lock") return {true, 0640};
        return {false, 0600};
    }
    if (relative.rfind("run/PIPE/Tessaro/", 0) == 0 && Depth(relative) == 4) {
        if (leaf == "StubToServer20") return {true, 0};  // the request socket
        return {false, 0600};
    }
    return {};
}

class RootGiver {
public:
    RootGiver(const AccountIdentity& account, gid_t webGroup) : account_(account), webGroup_(webGroup) {}

    bool GiveFolder(int fd, const std::string& relative, int depth) {
        const Placement placement = FolderPlacement(relative);
        if (!Apply(fd, placement)) return Fail(relative);
        if (depth > 64) return true;
        int listing = SystemCalls().dup(fd);
        DIR* dir = listing >= 0 ? SystemCalls().fdopendir(listing) : nullptr;
        if (!dir) {
            if (listing >= 0) SystemCalls().close(listing);
            return Fail(relative);
        }
        std::vector<std::string> names;
        while (dirent* entry = SystemCalls().readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        SystemCalls().closedir(dir);
        bool ok = true;
        for (const std::string& name : names) {
            const std::string child = relative.empty() ? name : relative + "/" + name;
            if (relative.empty() && IsProgramsFolder(child)) continue;
            ok = GiveEntry(fd, name, child, depth) && ok;
        }
        return ok;
    }

    const std::string& error() const { return error_; }

private:
    bool GiveEntry(int parent, const std::string& name, const std::string& relative, int depth) {
        struct stat st {};
        if (SystemCalls().fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT || Fail(relative);
        if (S_ISDIR(st.st_mode)) {
            int fd = SystemCalls().openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0) return errno == ENOENT || Fail(relative);
            bool ok = GiveFolder(fd, relative, depth + 1);
            SystemCalls().close(fd);
            return ok;
        }
        // A second name of another account's file (a hard link made into the root) is not
        // the root's to give away.
        if (!S_ISDIR(st.st_mode) && st.st_nlink > 1 && st.st_uid != account_.uid) return true;
        const Placement placement = FilePlacement(relative);
        if (S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode)) {
            // Opened without following a link, so the change lands on what was looked at.
            int fd = SystemCalls().openat(parent, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
            if (fd < 0) return errno == ENOENT || Fail(relative);
            bool ok = Apply(fd, placement);
            SystemCalls().close(fd);
            return ok || Fail(relative);
        }
        // Links, sockets and the rest: the entry itself, never what it leads to.
        const gid_t group = placement.webGroup ? webGroup_ : account_.gid;
        return SystemCalls().fchownat(parent, name.c_str(), account_.uid, group, AT_SYMLINK_NOFOLLOW) == 0 || errno == ENOENT ||
               Fail(relative);
    }

    bool Apply(int fd, const Placement& placement) {
        const gid_t group = placement.webGroup ? webGroup_ : account_.gid;
        if (SystemCalls().fchown(fd, account_.uid, group) != 0) return false;
        // The mode goes on after the owner: a change of owner clears the set-group bit.
        return placement.mode == 0 || SystemCalls().fchmod(fd, placement.mode) == 0;
    }

    bool Fail(const std::string& relative) {
        if (error_.empty()) error_ = (relative.empty() ? "" : "/" + relative) + ": " + std::strerror(errno);
        return false;
    }

    const AccountIdentity& account_;
    gid_t webGroup_;
    std::string error_;
};

}  // namespace

bool RuntimeRootOwner(const std::string& root, uid_t* owner) {
    struct stat st {};
    if (SystemCalls().stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    *owner = st.st_uid;
    return true;
}

bool GiveRuntimeRoot(const std::string& root, const AccountIdentity& account, gid_t webGroup, std::string* error) {
    if (account.uid == 0) {
        if (error) *error = "a runtime root is never given to root";
        return false;
    }
    SystemCalls().mkdir(root.c_str(), 0700);
    int fd = SystemCalls().open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = root + ": " + std::strerror(errno);
        return false;
    }
    for (const char* folder : kStandardFolders) SystemCalls().mkdirat(fd, folder, 0700);
    RootGiver giver(account, webGroup);
    bool ok = giver.GiveFolder(fd, "", 0);
    SystemCalls().close(fd);
    if (!ok && error) *error = root + giver.error();
    return ok;
}

RootGiveUp GiveUpRootForRuntimeRoot() {
    RootGiveUp result;
    result.root = RuntimeRootPath();
    if (!ProcessHasRootIdentity()) return result;
    uid_t owner = 0;
    if (!RuntimeRootOwner(result.root, &owner) || owner == 0) {
        result.outcome = RootGiveUp::RootsRoot;
        result.account = "root";
        return result;
    }
    AccountIdentity account;
    if (!LookUpAccountById(owner, account, &result.error)) {
        result.outcome = RootGiveUp::Failed;
        result.account = AccountName(owner);
        return result;
    }
    result.account = account.name;
    result.outcome = RunAsAccount(account, &result.error) ? RootGiveUp::Dropped : RootGiveUp::Failed;
    return result;
}

}  // namespace tessaro::platform

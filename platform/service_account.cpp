#include "platform/service_account.h"
#include "platform/system_calls.h"

#include <grp.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/child_program.h"
#include "platform/file_ops.h"
#include "platform/win32_error.h"

namespace tessaro::platform {

namespace {

// One line of /etc/passwd or /etc/group, split at its colons.
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields(1);
    for (char c : line) {
        if (c == ':')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

bool Number(const std::string& text, unsigned long& value) {
    if (text.empty() || text.size() > 10) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    return true;
}

// The accounts and groups are the system's files: the service accounts this manager makes
// live there, and so does every program of the system find them, the statically linked
// gateway included (which has no name-service modules to load).
template <typename Visit>
void ForEachEntry(const char* file, std::size_t fieldCount, Visit visit) {
    // Read whole through the platform, not a stream: a stream's locale start-up is a good
    // part of what the gateway would pay for its run as root.
    std::string text;
    if (ReadWholeFile(file, &text) != 0) return;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty() || line[0] == '#' || line[0] == '+' || line[0] == '-') continue;
        std::vector<std::string> fields = Fields(line);
        if (fields.size() < fieldCount) continue;
        if (visit(fields)) return;
    }
}

struct GroupEntry {
    std::string name;
    gid_t gid = 0;
    std::vector<std::string> members;
};

template <typename Match>
bool FindGroup(Match match, GroupEntry& found) {
    bool got = false;
    ForEachEntry("/etc/group", 4, [&](const std::vector<std::string>& f) {
        unsigned long gid = 0;
        if (!Number(f[2], gid)) return false;
        GroupEntry entry{f[0], static_cast<gid_t>(gid), {}};
        if (!match(entry)) return false;
        std::string member;
        for (char c : f[3] + ",") {
            if (c != ',') {
                member += c;
            } else if (!member.empty()) {
                entry.members.push_back(member);
                member.clear();
            }
        }
        found = entry;
        got = true;
        return true;
    });
    return got;
}

template <typename Match>
bool FindAccount(Match match, AccountIdentity& account) {
    bool got = false;
    ForEachEntry("/etc/passwd", 7, [&](const std::vector<std::string>& f) {
        unsigned long uid = 0, gid = 0;
        if (!Number(f[2], uid) || !Number(f[3], gid)) return false;
        if (!match(f[0], static_cast<uid_t>(uid))) return false;
        account.name = f[0];
        account.uid = static_cast<uid_t>(uid);
        account.gid = static_cast<gid_t>(gid);
        got = true;
        return true;
    });
    if (!got) return false;
    // Its groups: its own, and every group that names it as a member.
    account.groups.assign(1, account.gid);
    ForEachEntry("/etc/group", 4, [&](const std::vector<std::string>& f) {
        unsigned long gid = 0;
        if (!Number(f[2], gid) || static_cast<gid_t>(gid) == account.gid) return false;
        std::string member;
        for (char c : f[3] + ",") {
            if (c != ',') {
                member += c;
                continue;
            }
            if (member == account.name) account.groups.push_back(static_cast<gid_t>(gid));
            member.clear();
        }
        return false;
    });
    return true;
}

bool NotMapped(long* errorNumber) {
    if (errorNumber) *errorNumber = ERROR_NONE_MAPPED;
    return false;
}

const char* NoLoginShell() {
    for (const char* shell : {"/usr/sbin/nologin", "/sbin/nologin", "/bin/false"})
        if (SystemCalls().access(shell, X_OK) == 0) return shell;
    return "/bin/false";
}

const char* UserAddProgram() {
    for (const char* program : {"/usr/sbin/useradd", "/sbin/useradd"})
        if (SystemCalls().access(program, X_OK) == 0) return program;
    return nullptr;
}

// useradd's exit statuses: 9 the name is taken (someone made it meanwhile), 10 the password
// files are locked by another change (try again shortly).
constexpr int kUserAddNameInUse = 9;
constexpr int kUserAddFilesLocked = 10;

}  // namespace

bool LookUpAccount(const std::string& name, AccountIdentity& account, long* errorNumber) {
    if (name.empty()) return NotMapped(errorNumber);
    if (!FindAccount([&](const std::string& n, uid_t) { return n == name; }, account)) return NotMapped(errorNumber);
    return true;
}

bool LookUpAccountById(uid_t uid, AccountIdentity& account, long* errorNumber) {
    if (!FindAccount([&](const std::string&, uid_t u) { return u == uid; }, account)) return NotMapped(errorNumber);
    return true;
}

bool LookUpGroup(const std::string& name, gid_t& group, long* errorNumber) {
    GroupEntry entry;
    if (name.empty() || !FindGroup([&](const GroupEntry& g) { return g.name == name; }, entry))
        return NotMapped(errorNumber);
    group = entry.gid;
    return true;
}

std::string AccountName(uid_t uid) {
    AccountIdentity account;
    return LookUpAccountById(uid, account) ? account.name : "uid " + std::to_string(uid);
}

std::string GroupName(gid_t gid) {
    GroupEntry entry;
    return FindGroup([&](const GroupEntry& g) { return g.gid == gid; }, entry) ? entry.name
                                                                               : "gid " + std::to_string(gid);
}

std::string CurrentAccountName() {
    return AccountName(::geteuid());
}

bool ProcessHasRootIdentity() {
    uid_t real = 0, effective = 0, saved = 0;
    if (SystemCalls().getresuid(&real, &effective, &saved) != 0) return true;
    return real == 0 || effective == 0 || saved == 0;
}

bool ProcessRunsAs(const AccountIdentity& account) {
    uid_t real = 0, effective = 0, saved = 0;
    if (SystemCalls().getresuid(&real, &effective, &saved) != 0) return false;
    return real == account.uid && effective == account.uid && saved == account.uid;
}

bool EnsureSystemAccount(const std::string& name, const std::string& homeFolder, bool* created, std::string* error) {
    if (created) *created = false;
    AccountIdentity existing;
    if (LookUpAccount(name, existing)) return true;
    const char* useradd = UserAddProgram();
    if (!useradd) {
        if (error) *error = "useradd was not found (package passwd); the account '" + name + "' cannot be made";
        return false;
    }
    // A group of the same name left by an earlier account becomes the new account's group.
    gid_t group = 0;
    const bool groupExists = LookUpGroup(name, group);
    std::vector<std::string> argv{useradd,         "--system",     "--no-create-home", "--home-dir", homeFolder,
                                  "--shell",       NoLoginShell(), "--comment",        "Tessaro services"};
    if (groupExists) {
        argv.insert(argv.end(), {"--gid", name});
    } else {
        argv.push_back("--user-group");
    }
    argv.push_back(name);
    ProgramOutcome outcome;
    for (int attempt = 0; attempt < 100; ++attempt) {
        outcome = RunProgramForOutput(argv, 60);
        if (outcome.exitStatus == 0) {
            if (created) *created = true;
            break;
        }
        if (outcome.exitStatus == kUserAddNameInUse) break;
        if (outcome.exitStatus != kUserAddFilesLocked) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (LookUpAccount(name, existing)) return true;
    if (created) *created = false;
    if (error) {
        std::string said = outcome.output;
        while (!said.empty() && (said.back() == '\n' || said.back() == ' ')) said.pop_back();
        *error = "the account '" + name + "' could not be made (" + useradd + " " +
                 (outcome.started ? "ended with status " + std::to_string(outcome.exitStatus) : "could not be run") +
                 (said.empty() ? "" : ": " + said) + ")";
    }
    return false;
}

long BecomeAccount(const AccountIdentity& account) {
    if (account.uid == 0) return ERROR_SERVICE_LOGON_FAILED;
    if (ProcessRunsAs(account)) return ERROR_SUCCESS;
    // EPERM here is the account this process may not become.
    auto failure = [] { return errno == EPERM ? ERROR_SERVICE_LOGON_FAILED : Win32LastErrno(); };
    if (SystemCalls().setgroups(account.groups.size(), account.groups.data()) != 0) return failure();
    if (SystemCalls().setresgid(account.gid, account.gid, account.gid) != 0) return failure();
    if (SystemCalls().setresuid(account.uid, account.uid, account.uid) != 0) return failure();
    // A user id that could be taken back means root was not given up.
    uid_t real = 0, effective = 0, saved = 0;
    if (SystemCalls().getresuid(&real, &effective, &saved) != 0 || real != account.uid || effective != account.uid ||
        saved != account.uid)
        return ERROR_SERVICE_LOGON_FAILED;
    return ERROR_SUCCESS;
}

bool RunAsAccount(const AccountIdentity& account, long* errorNumber) {
    long e = BecomeAccount(account);
    if (e == ERROR_SUCCESS) return true;
    if (errorNumber) *errorNumber = e;
    return false;
}

}  // namespace tessaro::platform

#include "platform/service_manager.h"
#include "platform/system_calls.h"

#include "platform/child_program.h"
#include "platform/home.h"
#include "platform/service_account.h"
#include "platform/win32_error.h"
#include "platform/ascii_text.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <mutex>
#include <poll.h>
#include <random>
#include <sstream>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <dirent.h>

namespace tessaro::platform {

struct ScHandleData {
    bool isManager = false;
    std::string name;  // service name as given
    std::string dir;   // service folder
};

struct ServiceStatusHandleData {
    std::string dir;
};

namespace {

thread_local long t_lastError = 0;

bool Fail(long number) {
    t_lastError = number;
    return false;
}

long ErrnoToWindows(int e) {
    return Win32ErrorFromErrno(e);
}

// Environment captured at install time and handed to the service.
const char* const kCapturedEnv[] = {
    "TESSARO_HOME", "TMPDIR", "TESSARO_EVENTLOG", "TESSARO_WIN95", "LD_LIBRARY_PATH", "PATH",
    "LANG",         "TZ",     "ASAN_OPTIONS",     "UBSAN_OPTIONS", "ODBCSYSINI",      "ODBCINI"};

// The modes of a service's files: the web server's gateway (the folder's group, when root
// installed) reads config, status and lock to learn the service's state, and nothing else.
constexpr mode_t kReadableByGroup = 0640;
constexpr mode_t kOwnerOnly = 0600;
constexpr mode_t kServiceFolderMode = 02750;
// A removed service's folder, and one being built, until they are deleted.
constexpr const char* kGonePrefix = ".gone-";
constexpr const char* kNewPrefix = ".new-";
// What the started process reports when it could not become the service's account.
constexpr std::int32_t kBecomeAccountFailed = INT32_MIN;

using KeyValues = std::map<std::string, std::string>;

bool ReadKeyValues(const std::string& path, KeyValues& out) {
    std::ifstream in(path);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        out[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return true;
}

// Values are single-line; a CR or LF would split a record, so they are dropped.
std::string OneLine(const std::string& v) {
    std::string s;
    for (char c : v)
        if (c != '\n' && c != '\r') s += c;
    return s;
}

std::string UniqueSuffix() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    return std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" + std::to_string(random());
}

// A file made by root for a service's account becomes the account's.
void GiveTo(int fd, uid_t owner) {
    if (owner != 0 && ::geteuid() == 0 && SystemCalls().fchown(fd, owner, static_cast<gid_t>(-1)) != 0) {
    }
}

bool WriteFileAtomically(const std::string& path, const std::string& text, mode_t mode, uid_t owner = 0) {
    std::string tmp = path + ".tmp." + UniqueSuffix();
    int fd = SystemCalls().open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) return Fail(ErrnoToWindows(errno));
    if (long err = WriteAll(fd, text.data(), text.size()); err != ERROR_SUCCESS) {
        SystemCalls().close(fd);
        SystemCalls().unlink(tmp.c_str());
        return Fail(err);
    }
    GiveTo(fd, owner);
    SystemCalls().fchmod(fd, mode);
    SystemCalls().close(fd);
    if (SystemCalls().rename(tmp.c_str(), path.c_str()) != 0) {
        int e = errno;
        SystemCalls().unlink(tmp.c_str());
        return Fail(ErrnoToWindows(e));
    }
    return true;
}

std::uint32_t ToU32(const std::string& s) {
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(s.c_str(), &end, 10);
    if (errno != 0 || end == s.c_str() || v > 0xFFFFFFFFull) return 0;
    return static_cast<std::uint32_t>(v);
}

std::string StatusText(const SERVICE_STATUS& s, pid_t pid) {
    std::ostringstream o;
    o << "ServiceType=" << s.dwServiceType << "\n"
      << "CurrentState=" << s.dwCurrentState << "\n"
      << "ControlsAccepted=" << s.dwControlsAccepted << "\n"
      << "Win32ExitCode=" << s.dwWin32ExitCode << "\n"
      << "ServiceSpecificExitCode=" << s.dwServiceSpecificExitCode << "\n"
      << "Checkpoint=" << s.dwCheckPoint << "\n"
      << "WaitHint=" << s.dwWaitHint << "\n"
      << "Pid=" << pid << "\n";
    return o.str();
}

struct StoredStatus {
    SERVICE_STATUS status;
    pid_t pid = 0;
};

// A removal asked for while the service runs is a file of its own, not a field of
// status: the service rewrites status all the time and would lose the mark.
std::string DeletePendingPath(const std::string& dir) {
    return dir + "/delete-pending";
}

bool ReadStatus(const std::string& dir, StoredStatus& out) {
    KeyValues kv;
    if (!ReadKeyValues(dir + "/status", kv)) return false;
    out.status.dwServiceType = ToU32(kv["ServiceType"]);
    out.status.dwCurrentState = ToU32(kv["CurrentState"]);
    out.status.dwControlsAccepted = ToU32(kv["ControlsAccepted"]);
    out.status.dwWin32ExitCode = ToU32(kv["Win32ExitCode"]);
    out.status.dwServiceSpecificExitCode = ToU32(kv["ServiceSpecificExitCode"]);
    out.status.dwCheckPoint = ToU32(kv["Checkpoint"]);
    out.status.dwWaitHint = ToU32(kv["WaitHint"]);
    out.pid = static_cast<pid_t>(ToU32(kv["Pid"]));
    return true;
}

bool WriteStatus(const std::string& dir, const StoredStatus& s, uid_t owner = 0) {
    return WriteFileAtomically(dir + "/status", StatusText(s.status, s.pid), kReadableByGroup, owner);
}

// The whole-file lock the running service holds. An open-file-description lock: testing it
// (as the gateway does) takes nothing, so no reader can keep a service from starting.
struct flock WholeFileLock(short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    return lock;
}

bool TakeServiceLock(int fd) {
    struct flock lock = WholeFileLock(F_WRLCK);
    return SystemCalls().fcntl_lock(fd, F_OFD_SETLK, &lock) == 0;
}

// True when some process holds the service's lock.
bool LockHeld(const std::string& dir) {
    int fd = SystemCalls().open((dir + "/lock").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct flock lock = WholeFileLock(F_WRLCK);
    bool held = SystemCalls().fcntl_lock(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    SystemCalls().close(fd);
    return held;
}

bool ProcessAlive(pid_t pid);

// The lock is held, and not only by the last threads of a service process that has died
// (the pid its status names): such a service is not running any more.
bool LockHeldByTheLiving(const std::string& dir, pid_t pid) {
    return LockHeld(dir) && (pid <= 0 || ProcessAlive(pid));
}

// A live, non-zombie process.
bool ProcessAlive(pid_t pid) {
    if (pid <= 0 || SystemCalls().kill(pid, 0) != 0) return errno == EPERM && pid > 0;
    std::ifstream status("/proc/" + std::to_string(pid) + "/stat");
    std::string all;
    std::getline(status, all);
    auto nameEnd = all.rfind(')');
    if (nameEnd != std::string::npos && nameEnd + 2 < all.size()) return all[nameEnd + 2] != 'Z';
    return true;
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return SystemCalls().stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path) {
    return SystemCalls().access(path.c_str(), F_OK) == 0;
}

void RemoveTree(const std::string& dir) {
    if (DIR* d = SystemCalls().opendir(dir.c_str())) {
        while (dirent* e = SystemCalls().readdir(d)) {
            std::string n = e->d_name;
            if (n == "." || n == "..") continue;
            SystemCalls().unlink((dir + "/" + n).c_str());
        }
        SystemCalls().closedir(d);
    }
    SystemCalls().rmdir(dir.c_str());
}

// A service is installed while its folder has a config and no finished removal: a removal
// asked for while it ran is finished once nothing holds its lock.
bool Installed(const std::string& dir) {
    if (!FileExists(dir + "/config")) return false;
    return !FileExists(DeletePendingPath(dir)) || LockHeld(dir);
}

// Renames a service folder out of the way in one step and deletes what it held. What a start
// racing with it still adds to it is deleted by a later sweep.
bool RetireServiceFolder(const std::string& dir) {
    const std::string gone = ScmRootDirectory() + "/" + kGonePrefix + UniqueSuffix();
    if (SystemCalls().rename(dir.c_str(), gone.c_str()) != 0) return false;
    RemoveTree(gone);
    return true;
}

// Deletes what removals and interrupted installations left in scm/.
void SweepRetiredFolders() {
    const std::string root = ScmRootDirectory();
    DIR* d = SystemCalls().opendir(root.c_str());
    if (!d) return;
    std::vector<std::string> leftovers, finished;
    const auto now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    while (dirent* e = SystemCalls().readdir(d)) {
        std::string n = e->d_name;
        const std::string path = root + "/" + n;
        if (n.rfind(kGonePrefix, 0) == 0) {
            if (!LockHeld(path)) leftovers.push_back(path);
        } else if (n.rfind(kNewPrefix, 0) == 0) {
            // Another installation may be building it right now.
            struct stat st {};
            if (SystemCalls().lstat(path.c_str(), &st) == 0 && now - st.st_mtime > 60) leftovers.push_back(path);
        } else if (n != "." && n != ".." && FileExists(DeletePendingPath(path)) && !Installed(path)) {
            finished.push_back(path);  // removed while it ran, and it has ended since
        }
    }
    SystemCalls().closedir(d);
    for (const std::string& path : finished) RetireServiceFolder(path);
    for (const std::string& path : leftovers) RemoveTree(path);
}

// Serialises StartService against itself so that two starters spawn one process.
class StartLock {
public:
    StartLock(const std::string& dir, uid_t owner) {
        fd_ = SystemCalls().open((dir + "/start.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kOwnerOnly);
        if (fd_ < 0) return;
        GiveTo(fd_, owner);
        SystemCalls().flock(fd_, LOCK_EX);
    }
    ~StartLock() {
        if (fd_ >= 0) SystemCalls().close(fd_);
    }
    StartLock(const StartLock&) = delete;
    StartLock& operator=(const StartLock&) = delete;

private:
    int fd_ = -1;
};

// The account a service runs as; an older config without one runs as the folder's owner.
bool ServiceAccountOf(const std::string& dir, const KeyValues& cfg, AccountIdentity& account) {
    auto it = cfg.find("Account");
    if (it != cfg.end() && !it->second.empty()) return LookUpAccount(it->second, account);
    struct stat st {};
    return SystemCalls().stat(dir.c_str(), &st) == 0 && LookUpAccountById(st.st_uid, account);
}

// A caller that is neither root nor the service's account asks the runtime root's starter,
// which runs the start as the account. Its last line names the failure: "... error N ...".
bool StartThroughStarter(const std::string& name) {
    if (std::getenv(kScmStarterEnv)) return Fail(ERROR_SERVICE_LOGON_FAILED);
    const std::string starter = ScmStarterPath();
    if (SystemCalls().access(starter.c_str(), X_OK) != 0) return Fail(ERROR_ACCESS_DENIED);
    const std::vector<std::string> environment{"PATH=/usr/bin:/bin"};
    ProgramOutcome outcome = RunProgramForOutput({starter, name}, 120, &environment);
    if (!outcome.started) return Fail(ERROR_ACCESS_DENIED);
    if (outcome.exitStatus == 0) return true;
    if (outcome.timedOut) return Fail(ERROR_SERVICE_REQUEST_TIMEOUT);
    long number = ERROR_SERVICE_LOGON_FAILED;
    std::size_t at = outcome.output.rfind("error ");
    if (at != std::string::npos) {
        long said = std::strtol(outcome.output.c_str() + at + 6, nullptr, 10);
        if (said > 0) number = said;
    }
    return Fail(number);
}

}  // namespace

long ScmGetLastError() {
    return t_lastError;
}
void ScmSetLastError(long errorNumber) {
    t_lastError = errorNumber;
}

std::string ScmRootDirectory() {
    return HomePath("scm");
}

std::string ScmStarterPath() {
    return HomePath("bin") + "/" + "tsstart";
}

bool ScmStarterInstalled() {
    return FileExists(ScmStarterPath());
}

std::string ScmFoldServiceName(const std::string& name) {
    std::string out;
    for (char c : name) {
        const char lower = AsciiLower(c);
        if ((lower >= 'a' && lower <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-')
            out += lower;
        else
            out += '_';
    }
    if (out.empty() || out == "." || out == "..") out = "_" + out;
    return out;
}

std::string ScmServiceDirectory(const std::string& name) {
    return ScmRootDirectory() + "/" + ScmFoldServiceName(name);
}

SC_HANDLE OpenSCManager(std::uint32_t desiredAccess) {
    std::string root = ScmRootDirectory();
    if (!DirectoryExists(root)) {
        std::string home = root.substr(0, root.rfind('/'));
        SystemCalls().mkdir(home.c_str(), 0775);
        SystemCalls().mkdir(root.c_str(), 02775);
    }
    if (!DirectoryExists(root)) {
        if (desiredAccess & SC_MANAGER_CREATE_SERVICE) {
            Fail(kErrorAccessDenied);
            return nullptr;
        }
    } else if ((desiredAccess & SC_MANAGER_CREATE_SERVICE) && SystemCalls().access(root.c_str(), W_OK) != 0) {
        Fail(kErrorAccessDenied);
        return nullptr;
    }
    auto* h = new ScHandleData;
    h->isManager = true;
    h->dir = root;
    return h;
}

SC_HANDLE OpenService(SC_HANDLE manager, const std::string& name, std::uint32_t) {
    if (!manager || !manager->isManager) {
        Fail(6);  // ERROR_INVALID_HANDLE
        return nullptr;
    }
    std::string dir = ScmServiceDirectory(name);
    if (name.empty() || !DirectoryExists(dir) || !Installed(dir)) {
        // A folder that cannot be read at all is not "missing".
        Fail(DirectoryExists(dir) && SystemCalls().access(dir.c_str(), R_OK | X_OK) != 0 ? kErrorAccessDenied
                                                                            : kErrorServiceDoesNotExist);
        return nullptr;
    }
    auto* h = new ScHandleData;
    h->name = name;
    h->dir = dir;
    return h;
}

SC_HANDLE CreateService(SC_HANDLE manager, const std::string& name, const std::string& displayName, std::uint32_t,
                        std::uint32_t serviceType, std::uint32_t startType, std::uint32_t errorControl,
                        const std::string& binaryPath, const std::vector<std::string>& arguments,
                        const std::string& account) {
    if (!manager || !manager->isManager) {
        Fail(6);
        return nullptr;
    }
    if (name.empty() || name.size() > 256) {
        Fail(123);  // ERROR_INVALID_NAME
        return nullptr;
    }
    AccountIdentity runAs;
    if (!(account.empty() ? LookUpAccountById(::geteuid(), runAs) : LookUpAccount(account, runAs))) {
        Fail(ERROR_NONE_MAPPED);
        return nullptr;
    }
    SweepRetiredFolders();
    const std::string dir = ScmServiceDirectory(name);
    // The folder is built whole under a name of its own and then renamed into place: until
    // then the service does not exist, afterwards it exists complete.
    const std::string building = ScmRootDirectory() + "/" + kNewPrefix + UniqueSuffix();
    if (SystemCalls().mkdir(building.c_str(), kServiceFolderMode) != 0) {
        Fail(ErrnoToWindows(errno));
        return nullptr;
    }
    SystemCalls().chmod(building.c_str(), kServiceFolderMode);
    const uid_t owner = runAs.uid;
    std::ostringstream cfg;
    cfg << "ServiceName=" << OneLine(name) << "\n"
        << "DisplayName=" << OneLine(displayName) << "\n"
        << "BinaryPath=" << OneLine(binaryPath) << "\n"
        << "StartType=" << startType << "\n"
        << "ServiceType=" << serviceType << "\n"
        << "ErrorControl=" << errorControl << "\n"
        << "Account=" << OneLine(runAs.name) << "\n";
    cfg << "ArgumentCount=" << arguments.size() << "\n";
    for (size_t i = 0; i < arguments.size(); ++i) cfg << "Argument" << i << "=" << OneLine(arguments[i]) << "\n";
    for (const char* var : kCapturedEnv)
        if (const char* v = std::getenv(var)) cfg << "Env." << var << "=" << OneLine(v) << "\n";
    StoredStatus st;
    st.status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    st.status.dwCurrentState = SERVICE_STOPPED;
    // The writers record their own failure; the thread's last error may be an older one.
    long err = ERROR_SUCCESS;
    const std::string fifo = building + "/control";
    if (!WriteFileAtomically(building + "/config", cfg.str(), kReadableByGroup, owner) ||
        !WriteStatus(building, st, owner)) {
        err = t_lastError;
    } else if (SystemCalls().mkfifo(fifo.c_str(), kOwnerOnly) != 0) {
        err = ErrnoToWindows(errno);
    } else {
        int lockFd = SystemCalls().open((building + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kReadableByGroup);
        if (lockFd < 0) {
            err = ErrnoToWindows(errno);
        } else {
            GiveTo(lockFd, owner);
            SystemCalls().fchmod(lockFd, kReadableByGroup);
            SystemCalls().close(lockFd);
        }
        if (err == ERROR_SUCCESS && owner != 0 && ::geteuid() == 0 &&
            (SystemCalls().lchown(fifo.c_str(), owner, static_cast<gid_t>(-1)) != 0 ||
             SystemCalls().chown(building.c_str(), owner, static_cast<gid_t>(-1)) != 0 ||
             SystemCalls().chmod(building.c_str(), kServiceFolderMode) != 0))
            err = ErrnoToWindows(errno);
    }
    for (int attempt = 0; err == ERROR_SUCCESS; ++attempt) {
        if (SystemCalls().renameat2(AT_FDCWD, building.c_str(), AT_FDCWD, dir.c_str(), RENAME_NOREPLACE) == 0) break;
        if (errno != EEXIST && errno != ENOTEMPTY) {
            err = ErrnoToWindows(errno);
            break;
        }
        // A folder by that name: an installed service (perhaps one still running after its
        // removal), or one whose removal has finished, or what an older manager left behind
        // without a config; those two are retired and the rename is tried again.
        if (Installed(dir)) {
            err = FileExists(DeletePendingPath(dir)) ? ERROR_SERVICE_MARKED_FOR_DELETE : kErrorServiceExists;
        } else if (attempt >= 3) {
            err = kErrorServiceExists;
        } else if (!RetireServiceFolder(dir) && errno != ENOENT) {
            err = ErrnoToWindows(errno);
        }
    }
    if (err != ERROR_SUCCESS) {
        RemoveTree(building);
        Fail(err);
        return nullptr;
    }
    auto* h = new ScHandleData;
    h->name = name;
    h->dir = dir;
    return h;
}

bool CloseServiceHandle(SC_HANDLE handle) {
    if (!handle) return Fail(6);
    delete handle;
    return true;
}

bool DeleteService(SC_HANDLE service) {
    if (!service || service->isManager) return Fail(6);
    if (!DirectoryExists(service->dir) || !Installed(service->dir)) return Fail(kErrorServiceDoesNotExist);
    SweepRetiredFolders();
    if (LockHeld(service->dir)) {
        int fd = SystemCalls().open(DeletePendingPath(service->dir).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, kReadableByGroup);
        if (fd < 0) return Fail(ErrnoToWindows(errno));
        SystemCalls().close(fd);
        // The service may have ended before it could see the mark; then the removal is ours.
        if (LockHeld(service->dir)) return true;
    }
    if (!RetireServiceFolder(service->dir) && errno != ENOENT) return Fail(ErrnoToWindows(errno));
    return true;
}

void ScmCompleteRemovals() {
    SweepRetiredFolders();
}

bool QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) {
    if (!service || service->isManager || !status) return Fail(6);
    StoredStatus st;
    if (!ReadStatus(service->dir, st)) {
        if (FileExists(service->dir + "/status")) return Fail(ErrnoToWindows(errno));
        return Fail(kErrorServiceDoesNotExist);
    }
    if (!LockHeldByTheLiving(service->dir, st.pid)) {
        // A start in progress has a live process that has not taken the lock yet.
        bool starting = st.status.dwCurrentState == SERVICE_START_PENDING && ProcessAlive(st.pid);
        if (!starting) {
            st.status.dwCurrentState = SERVICE_STOPPED;
            st.status.dwControlsAccepted = 0;
            st.status.dwCheckPoint = 0;
            st.status.dwWaitHint = 0;
        }
    }
    *status = st.status;
    return true;
}

bool StartService(SC_HANDLE service) {
    if (!service || service->isManager) return Fail(6);
    KeyValues cfg;
    if (!ReadKeyValues(service->dir + "/config", cfg)) {
        if (FileExists(service->dir + "/config")) {
            // Not readable here: the caller is not the service's account; the starter is asked.
            return StartThroughStarter(service->name);
        }
        return Fail(kErrorServiceDoesNotExist);
    }
    AccountIdentity account;
    if (!ServiceAccountOf(service->dir, cfg, account)) return Fail(ERROR_SERVICE_LOGON_FAILED);
    const bool asRoot = ::geteuid() == 0;
    // Root starts the service as its account; the account starts it itself; anyone else
    // through the starter.
    if (!asRoot && !ProcessRunsAs(account)) return StartThroughStarter(cfg["ServiceName"]);
    const uid_t owner = account.uid;
    StartLock guard(service->dir, owner);
    cfg.clear();
    if (!ReadKeyValues(service->dir + "/config", cfg) || !Installed(service->dir)) {
        // A service marked for removal is not started again; its folder goes when it stops.
        if (FileExists(DeletePendingPath(service->dir))) return Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
        return Fail(kErrorServiceDoesNotExist);
    }
    StoredStatus old;
    const bool haveOld = ReadStatus(service->dir, old);
    if (LockHeld(service->dir)) {
        // A process that has died holds its lock until the last of its threads has ended.
        for (int i = 0; i < 200 && haveOld && !ProcessAlive(old.pid) && LockHeld(service->dir); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (LockHeld(service->dir)) return Fail(kErrorServiceAlreadyRunning);
    }
    if (FileExists(DeletePendingPath(service->dir))) return Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    if (haveOld && old.status.dwCurrentState == SERVICE_START_PENDING && ProcessAlive(old.pid))
        return Fail(kErrorServiceAlreadyRunning);

    // Everything the child needs is built before fork: no allocation after it.
    std::string binary = cfg["BinaryPath"];
    if (binary.empty()) return Fail(kErrorFileNotFound);
    std::vector<std::string> args{binary};
    std::uint32_t argc = std::min<std::uint32_t>(ToU32(cfg["ArgumentCount"]), 256);
    for (std::uint32_t i = 0; i < argc; ++i) args.push_back(cfg["Argument" + std::to_string(i)]);
    std::vector<std::string> env;
    for (const auto& [k, v] : cfg)
        if (k.rfind("Env.", 0) == 0) env.push_back(k.substr(4) + "=" + v);
    env.push_back(std::string(kScmServiceEnv) + "=" + cfg["ServiceName"]);
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    // Root hands the service over to its account (a service installed for root stays root's).
    const bool becomeAccount = asRoot && account.uid != 0;

    int report[2];
    if (SystemCalls().pipe2(report, O_CLOEXEC) != 0) return Fail(ErrnoToWindows(errno));
    // The service waits until its START_PENDING is on record, so that this record can never
    // overwrite the RUNNING the service reports itself.
    int go[2];
    if (SystemCalls().pipe2(go, O_CLOEXEC) != 0) {
        int e = errno;
        SystemCalls().close(report[0]);
        SystemCalls().close(report[1]);
        return Fail(ErrnoToWindows(e));
    }

    pid_t child = SystemCalls().fork();
    if (child < 0) {
        int e = errno;
        SystemCalls().close(report[0]);
        SystemCalls().close(report[1]);
        SystemCalls().close(go[0]);
        SystemCalls().close(go[1]);
        return Fail(ErrnoToWindows(e));
    }
    if (child == 0) {
        SystemCalls().setsid();
        pid_t grandchild = SystemCalls().fork();
        if (grandchild != 0) {
            std::int32_t pid32 = grandchild;
            if (SystemCalls().write(report[1], &pid32, sizeof pid32) < 0) _exit(1);
            _exit(grandchild < 0 ? 1 : 0);
        }
        SystemCalls().close(go[1]);
        char released;
        RetryOnInterrupt([&] { return SystemCalls().read(go[0], &released, 1); });
        SystemCalls().close(go[0]);
        if (becomeAccount) {
            if (BecomeAccount(account) != 0) {
                std::int32_t err = kBecomeAccountFailed;
                if (SystemCalls().write(report[1], &err, sizeof err) < 0) _exit(126);
                _exit(126);
            }
        }
        // The service: no descriptor of the starter survives (a CGI starter's
        // stdout must not be held open by a long-running engine).
        sigset_t none;
        sigemptyset(&none);
        SystemCalls().sigprocmask(SIG_SETMASK, &none, nullptr);
        SystemCalls().signal(SIGPIPE, SIG_DFL);
        SystemCalls().umask(077);
        int devnull = SystemCalls().open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            SystemCalls().dup2(devnull, 0);
            SystemCalls().dup2(devnull, 1);
            SystemCalls().dup2(devnull, 2);
        }
        if (report[1] > 3) SystemCalls().close_range(3, static_cast<unsigned>(report[1] - 1), 0);
        SystemCalls().close_range(static_cast<unsigned>(report[1] + 1), ~0u, 0);
        if (SystemCalls().chdir("/") != 0) _exit(127);
        SystemCalls().execve(argv[0], argv.data(), envp.data());
        std::int32_t err = -errno;
        if (SystemCalls().write(report[1], &err, sizeof err) < 0) _exit(127);
        _exit(127);
    }
    SystemCalls().close(report[1]);
    SystemCalls().close(go[0]);
    int ws = 0;
    RetryOnInterrupt([&] { return SystemCalls().waitpid(child, &ws, 0); });
    std::int32_t pid32 = 0;
    long got = 0;
    while ((got = SystemCalls().read(report[0], &pid32, sizeof pid32)) < 0 && errno == EINTR) {
    }
    if (got != sizeof pid32 || pid32 <= 0) {
        SystemCalls().close(report[0]);
        SystemCalls().close(go[1]);
        return Fail(31);
    }
    StoredStatus st;
    st.status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    st.status.dwCurrentState = SERVICE_START_PENDING;
    st.pid = pid32;
    WriteStatus(service->dir, st, owner);
    SystemCalls().close(go[1]);  // releases the service
    std::int32_t execErr = 0;
    while ((got = SystemCalls().read(report[0], &execErr, sizeof execErr)) < 0 && errno == EINTR) {
    }
    SystemCalls().close(report[0]);
    if (got == sizeof execErr && execErr < 0) {
        st.status.dwCurrentState = SERVICE_STOPPED;
        st.pid = 0;
        WriteStatus(service->dir, st, owner);
        return Fail(execErr == kBecomeAccountFailed ? ERROR_SERVICE_LOGON_FAILED : ErrnoToWindows(-execErr));
    }
    return true;
}

bool ControlService(SC_HANDLE service, std::uint32_t control, SERVICE_STATUS* status) {
    if (!service || service->isManager) return Fail(6);
    if (!DirectoryExists(service->dir)) return Fail(kErrorServiceDoesNotExist);
    SERVICE_STATUS current;
    if (!QueryServiceStatus(service, &current)) return false;
    if (!LockHeld(service->dir)) {
        if (status) *status = current;
        return Fail(kErrorServiceNotActive);
    }
    if (control == SERVICE_CONTROL_STOP && !(current.dwControlsAccepted & SERVICE_ACCEPT_STOP)) {
        if (status) *status = current;
        return Fail(kErrorInvalidServiceControl);
    }
    if (control != SERVICE_CONTROL_INTERROGATE) {
        int fd = SystemCalls().open((service->dir + "/control").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return Fail(ErrnoToWindows(errno));
        std::uint32_t code = control;
        ssize_t n = SystemCalls().write(fd, &code, sizeof code);
        int e = errno;
        SystemCalls().close(fd);
        if (n != sizeof code) return Fail(ErrnoToWindows(e));
    }
    if (status) *status = current;
    return true;
}

bool GetInstalledService(const std::string& name, InstalledService& service) {
    const std::string dir = ScmServiceDirectory(name);
    KeyValues cfg;
    if (!Installed(dir) || !ReadKeyValues(dir + "/config", cfg)) return Fail(kErrorServiceDoesNotExist);
    service = {cfg["ServiceName"], cfg["DisplayName"], cfg["BinaryPath"], ToU32(cfg["StartType"]), cfg["Account"]};
    return true;
}

std::vector<InstalledService> EnumInstalledServices() {
    std::vector<InstalledService> out;
    std::string root = ScmRootDirectory();
    DIR* d = SystemCalls().opendir(root.c_str());
    if (!d) return out;
    while (dirent* e = SystemCalls().readdir(d)) {
        std::string n = e->d_name;
        // Removed services and installations under way.
        if (n.empty() || n[0] == '.') continue;
        const std::string dir = root + "/" + n;
        KeyValues cfg;
        if (!Installed(dir) || !ReadKeyValues(dir + "/config", cfg)) continue;
        out.push_back(
            {cfg["ServiceName"], cfg["DisplayName"], cfg["BinaryPath"], ToU32(cfg["StartType"]), cfg["Account"]});
    }
    SystemCalls().closedir(d);
    std::sort(out.begin(), out.end(),
              [](const auto& a, const auto& b) { return ScmFoldServiceName(a.name) < ScmFoldServiceName(b.name); });
    return out;
}

// --- service process side ---------------------------------------------------

namespace {

struct DispatcherState {
    std::mutex mutex;
    std::string name;
    std::string dir;
    ServiceHandlerFunction handler = nullptr;
};

DispatcherState& Dispatcher() {
    static DispatcherState state;
    return state;
}

}  // namespace

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandler(const std::string& name, ServiceHandlerFunction handler) {
    DispatcherState& d = Dispatcher();
    std::lock_guard lock(d.mutex);
    if (d.dir.empty() || ScmFoldServiceName(name) != ScmFoldServiceName(d.name)) {
        Fail(kErrorServiceDoesNotExist);
        return nullptr;
    }
    d.handler = handler;
    static ServiceStatusHandleData handle;
    handle.dir = d.dir;
    return &handle;
}

bool SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS& status) {
    if (!handle) return Fail(6);
    StoredStatus st;
    st.status = status;
    st.pid = getpid();
    return WriteStatus(handle->dir, st);
}

bool StartServiceCtrlDispatcher(const std::vector<SERVICE_TABLE_ENTRY>& table) {
    const char* wanted = std::getenv(kScmServiceEnv);
    if (!wanted || !*wanted) return Fail(kErrorFailedServiceControllerConnect);
    const SERVICE_TABLE_ENTRY* entry = nullptr;
    for (const auto& e : table)
        if (ScmFoldServiceName(e.serviceName) == ScmFoldServiceName(wanted)) entry = &e;
    if (!entry || !entry->serviceProc) return Fail(kErrorFailedServiceControllerConnect);

    std::string dir = ScmServiceDirectory(entry->serviceName);
    int lockFd = SystemCalls().open((dir + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kReadableByGroup);
    if (lockFd < 0) return Fail(kErrorFailedServiceControllerConnect);
    // A process that started a moment ago may still be ending (a stop and a start in quick
    // succession), so the lock is tried for a while before giving up.
    bool locked = false;
    for (int attempt = 0; attempt < 200 && !locked; ++attempt) {
        locked = TakeServiceLock(lockFd);
        if (!locked) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!locked) {
        SystemCalls().close(lockFd);
        return Fail(kErrorServiceAlreadyRunning);
    }
    int controlFd = SystemCalls().open((dir + "/control").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (controlFd < 0) {
        SystemCalls().close(lockFd);
        return Fail(kErrorFailedServiceControllerConnect);
    }
    // SIGTERM means STOP; it is blocked here so that every thread started later
    // inherits the mask and the signal arrives only through the signalfd.
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    SystemCalls().pthread_sigmask(SIG_BLOCK, &term, nullptr);
    int sigFd = SystemCalls().signalfd(-1, &term, SFD_CLOEXEC | SFD_NONBLOCK);
    int doneFd = SystemCalls().eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);

    {
        DispatcherState& d = Dispatcher();
        std::lock_guard lock(d.mutex);
        d.name = entry->serviceName;
        d.dir = dir;
    }
    std::string argv0 = entry->serviceName;
    ServiceMainFunction proc = entry->serviceProc;
    std::thread main([proc, &argv0, doneFd] {
        char* argv[] = {argv0.data(), nullptr};
        proc(1, argv);
        std::uint64_t one = 1;
        if (SystemCalls().write(doneFd, &one, sizeof one) < 0) {
        }
    });

    // Codes that came before ServiceMain registered its handler wait for it: a stop sent
    // during start-up must not be lost.
    std::vector<std::uint32_t> codes;
    for (;;) {
        pollfd fds[3] = {{controlFd, POLLIN, 0}, {sigFd, POLLIN, 0}, {doneFd, POLLIN, 0}};
        int n = SystemCalls().poll(fds, 3, codes.empty() ? -1 : 20);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[2].revents & POLLIN) break;
        if (fds[0].revents & POLLIN) {
            std::uint32_t code = 0;
            while (SystemCalls().read(controlFd, &code, sizeof code) == sizeof code) codes.push_back(code);
        }
        if (fds[1].revents & POLLIN) {
            signalfd_siginfo info;
            while (SystemCalls().read(sigFd, &info, sizeof info) == sizeof info) codes.push_back(SERVICE_CONTROL_STOP);
        }
        ServiceHandlerFunction handler;
        {
            std::lock_guard lock(Dispatcher().mutex);
            handler = Dispatcher().handler;
        }
        if (!handler) continue;
        for (std::uint32_t code : codes) handler(code);
        codes.clear();
    }
    main.join();

    SystemCalls().close(controlFd);
    if (sigFd >= 0) SystemCalls().close(sigFd);
    if (doneFd >= 0) SystemCalls().close(doneFd);
    // A removal asked for meanwhile is complete once the lock is free: the folder is no longer
    // a service, and the next installation or removal retires it.
    SystemCalls().close(lockFd);
    return true;
}

}  // namespace tessaro::platform

#include "platform/sqlite_lock_holder.h"

#include "platform/descriptor.h"
#include "platform/system_calls.h"

#include <fcntl.h>
#include <pthread.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "platform/sqlite_start.h"

namespace tessaro::platform {
namespace {

using FcntlCall = int (*)(int, int, ...);
using CloseCall = int (*)(int);

FcntlCall g_fcntl = nullptr;
CloseCall g_close = nullptr;

using FileId = std::pair<dev_t, ino_t>;

struct Holder {
    int fd = -1;
    int users = 0;  // SQLite descriptors of the file that have taken part in locking
};

struct HolderTable {
    std::mutex mutex;
    std::map<FileId, Holder> byFile;
    std::map<int, FileId> userFiles;
};

// Made on first use and replaced (never freed) in a forked child: the parent's
// holders are the parent's. Constant-initialised, so usable whatever the order
// of static initialisation.
std::atomic<HolderTable*> g_table{nullptr};

HolderTable& Table() {
    HolderTable* table = g_table.load();
    if (table != nullptr) return *table;
    auto* made = new HolderTable;
    if (g_table.compare_exchange_strong(table, made)) return *made;
    delete made;
    return *table;
}

// A new open file description of the same file: a duplicate would share its
// description (and so its locks) with a forked child's or parent's copy of fd.
int OpenHolder(int fd) {
    const std::string self = DescriptorSelfLink(fd);
    int flags = g_fcntl(fd, F_GETFL);
    if (flags < 0) return -1;
    int holder = SystemCalls().open(self.c_str(), (flags & O_ACCMODE) | O_CLOEXEC);
    if (holder < 0 && (flags & O_ACCMODE) != O_RDONLY) holder = SystemCalls().open(self.c_str(), O_RDONLY | O_CLOEXEC);
    return holder;
}

// The holder descriptor for a SQLite descriptor, made on its first lock call; -1
// when none can be made (the call then goes to the descriptor itself).
int HolderFor(int fd) {
    HolderTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto user = table.userFiles.find(fd);
    if (user != table.userFiles.end()) return table.byFile[user->second].fd;
    struct stat st;
    if (SystemCalls().fstat(fd, &st) != 0) return -1;
    FileId id{st.st_dev, st.st_ino};
    auto it = table.byFile.find(id);
    if (it == table.byFile.end()) {
        int holder = OpenHolder(fd);
        if (holder < 0) return -1;
        it = table.byFile.emplace(id, Holder{holder, 0}).first;
    }
    ++it->second.users;
    table.userFiles.emplace(fd, id);
    return it->second.fd;
}

// SQLite closes a descriptor only when the process holds no lock it could lose
// (it keeps the others until the locks are gone), so the holder may go with the
// last of them.
void ForgetUser(int fd) {
    HolderTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto user = table.userFiles.find(fd);
    if (user == table.userFiles.end()) return;
    auto it = table.byFile.find(user->second);
    table.userFiles.erase(user);
    if (it != table.byFile.end() && --it->second.users == 0) {
        g_close(it->second.fd);
        table.byFile.erase(it);
    }
}

int LockCall(int fd, int cmd, struct flock* request) {
    int holder = HolderFor(fd);
    if (holder < 0) return g_fcntl(fd, cmd, request);
    struct flock copy = *request;
    copy.l_pid = 0;  // required for description locks
    int descriptionCmd = cmd == F_GETLK ? F_OFD_GETLK : cmd == F_SETLKW ? F_OFD_SETLKW : F_OFD_SETLK;
    int rc = g_fcntl(holder, descriptionCmd, &copy);
    // A holder duplicated from a read-only descriptor cannot take a write lock.
    if (rc != 0 && errno == EBADF) return g_fcntl(fd, cmd, request);
    if (rc == 0 && cmd == F_GETLK) *request = copy;
    return rc;
}

int HookedFcntl(int fd, int cmd, ...) {
    va_list args;
    va_start(args, cmd);
    int rc;
    switch (cmd) {
        case F_GETLK:
        case F_SETLK:
        case F_SETLKW: {
            auto* request = va_arg(args, struct flock*);
            rc = LockCall(fd, cmd, request);
            break;
        }
        case F_GETFD:
        case F_GETFL:
            rc = g_fcntl(fd, cmd);
            break;
        default: {
            int value = va_arg(args, int);
            rc = g_fcntl(fd, cmd, value);
            break;
        }
    }
    va_end(args);
    return rc;
}

int HookedClose(int fd) {
    ForgetUser(fd);
    return g_close(fd);
}

// The store's writes go through the platform's table, as every other write does, so that a
// test can make the disk fill under it.
ssize_t RoutedWrite(int fd, const void* data, size_t n) { return SystemCalls().write(fd, data, n); }
ssize_t RoutedPwrite(int fd, const void* data, size_t n, off_t offset) {
    return SystemCalls().pwrite(fd, data, n, offset);
}

void RouteWrites(sqlite3_vfs* vfs) {
    vfs->xSetSystemCall(vfs, "write", reinterpret_cast<sqlite3_syscall_ptr>(&RoutedWrite));
    // SQLite uses whichever of the two its build chose; the other name is unknown to it.
    vfs->xSetSystemCall(vfs, "pwrite", reinterpret_cast<sqlite3_syscall_ptr>(&RoutedPwrite));
    vfs->xSetSystemCall(vfs, "pwrite64", reinterpret_cast<sqlite3_syscall_ptr>(&RoutedPwrite));
}

bool Install() {
    if (!StartSqlite()) return false;
    sqlite3_vfs* vfs = sqlite3_vfs_find("unix");
    if (vfs == nullptr || vfs->iVersion < 3 || vfs->xGetSystemCall == nullptr) return false;
    auto realFcntl = reinterpret_cast<FcntlCall>(vfs->xGetSystemCall(vfs, "fcntl"));
    auto realClose = reinterpret_cast<CloseCall>(vfs->xGetSystemCall(vfs, "close"));
    if (realFcntl == nullptr || realClose == nullptr) return false;
    g_fcntl = realFcntl;
    g_close = realClose;
    if (vfs->xSetSystemCall(vfs, "close", reinterpret_cast<sqlite3_syscall_ptr>(&HookedClose)) != SQLITE_OK)
        return false;
    if (vfs->xSetSystemCall(vfs, "fcntl", reinterpret_cast<sqlite3_syscall_ptr>(&HookedFcntl)) != SQLITE_OK) {
        vfs->xSetSystemCall(vfs, "close", reinterpret_cast<sqlite3_syscall_ptr>(realClose));
        return false;
    }
    RouteWrites(vfs);
    SystemCalls().pthread_atfork(nullptr, nullptr, [] { g_table.store(new HolderTable); });
    return true;
}

}  // namespace

bool KeepSqliteLocksPerProcess() {
    static const bool installed = Install();
    return installed;
}

}  // namespace tessaro::platform

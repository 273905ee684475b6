#include "platform/registry_change_watch.h"
#include "platform/system_calls.h"

#include <pthread.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

namespace tessaro::platform {

namespace {

// Writes of any kind to the store, its write-ahead log or its journal, and the files
// replaced or removed. The shared-memory index is written through a mapping, which
// reports nothing, and changes only with the log.
constexpr std::uint32_t kWatchMask =
    IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
    IN_MOVE_SELF | IN_ONLYDIR;
// A bound on the folders watched (one per store; tests make many).
constexpr std::size_t kMaxFolders = 256;

struct Watch {
    std::set<std::string> files;  // store file names in the folder
};

// Every request thread checks the stamp before each setting it reads: the usual answer,
// "nothing queued and nobody applying reports", is found without the lock.
struct Watcher {
    std::mutex lock;
    int fd = -1;
    bool unavailable = false;
    std::atomic<std::uint64_t> stamp{1};
    // Moves on whenever the set of watched folders and files changes (never 0).
    std::atomic<std::uint64_t> layout{1};
    // Non-zero while reports taken from the queue may not be counted in the stamp yet.
    std::atomic<int> draining{0};
    std::map<std::string, int> byFolder;
    std::map<int, Watch> watches;

    void Forget() {
        for (const auto& [folder, wd] : byFolder) SystemCalls().inotify_rm_watch(fd, wd);
        byFolder.clear();
        watches.clear();
        ++stamp;
        ++layout;
    }

    // Applies the queued reports; called with the lock held.
    void Drain() {
        ++draining;
        DrainQueue();
        --draining;
    }

    void DrainQueue() {
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            ssize_t got = SystemCalls().read(fd, buffer, sizeof buffer);
            if (got <= 0) return;  // EAGAIN: nothing queued
            for (char* p = buffer; p < buffer + got;) {
                auto* event = reinterpret_cast<inotify_event*>(p);
                p += sizeof(inotify_event) + event->len;
                if (event->mask & IN_Q_OVERFLOW) {
                    Forget();
                    continue;
                }
                auto watch = watches.find(event->wd);
                if (watch == watches.end()) continue;
                if (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
                    // The folder itself went: watched afresh on the next check.
                    for (auto it = byFolder.begin(); it != byFolder.end(); ++it) {
                        if (it->second == event->wd) {
                            byFolder.erase(it);
                            break;
                        }
                    }
                    watches.erase(watch);
                    ++stamp;
                    ++layout;
                    continue;
                }
                if (event->len == 0 || watch->second.files.count(event->name) != 0) ++stamp;
            }
        }
    }
};

Watcher& TheWatcher() {
    static Watcher* watcher = [] {
        auto* made = new Watcher();  // used until the very end of the process
        // A forked child must not read the parent's queue (the parent would miss those
        // reports): it starts afresh with a watch of its own. The lock is held across the
        // fork so that the child never inherits it taken.
        SystemCalls().pthread_atfork([] { TheWatcher().lock.lock(); }, [] { TheWatcher().lock.unlock(); },
                                     [] {
                                         Watcher& child = TheWatcher();
                                         child.fd = -1;  // the parent's; closed by exec (close-on-exec)
                                         child.byFolder.clear();
                                         child.watches.clear();
                                         child.draining = 0;
                                         ++child.stamp;
                                         ++child.layout;
                                         child.lock.unlock();
                                     });
        return made;
    }();
    return *watcher;
}

}  // namespace

bool RegistryStoreStamp(const std::string& storePath, std::uint64_t& stamp) {
    const std::size_t slash = storePath.find_last_of('/');
    if (slash == std::string::npos || slash + 1 >= storePath.size()) return false;
    const std::string folder = slash == 0 ? "/" : storePath.substr(0, slash);
    const std::string file = storePath.substr(slash + 1);
    Watcher& w = TheWatcher();
    // The store this thread looked at last, as the watches stood then.
    thread_local std::string t_path;
    thread_local std::uint64_t t_layout = 0;
    if (t_layout != 0 && t_layout == w.layout.load() && t_path == storePath) {
        // A report queued before this call is either still queued, or taken by a drain
        // that has counted it (or is about to: then the lock is waited for below).
        int queued = 0;
        if (SystemCalls().ioctl(w.fd, FIONREAD, &queued) == 0 && queued == 0 && w.draining.load() == 0) {
            stamp = w.stamp.load();
            return true;
        }
    }
    std::lock_guard<std::mutex> hold(w.lock);
    if (w.unavailable) return false;
    if (w.fd < 0) {
        w.fd = SystemCalls().inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (w.fd < 0) {
            w.unavailable = true;
            return false;
        }
    }
    w.Drain();
    auto known = w.byFolder.find(folder);
    if (known == w.byFolder.end()) {
        if (w.byFolder.size() >= kMaxFolders) w.Forget();
        const int wd = SystemCalls().inotify_add_watch(w.fd, folder.c_str(), kWatchMask);
        if (wd < 0) return false;
        // The same folder under another spelling shares the descriptor.
        known = w.byFolder.emplace(folder, wd).first;
        ++w.stamp;  // whatever was kept before the watch may be stale
        ++w.layout;
    }
    std::set<std::string>& files = w.watches[known->second].files;
    if (files.insert(file).second) {
        files.insert(file + "-wal");
        files.insert(file + "-journal");
        ++w.stamp;
        ++w.layout;
    }
    stamp = w.stamp.load();
    t_path = storePath;
    t_layout = w.layout.load();
    return true;
}

}  // namespace tessaro::platform

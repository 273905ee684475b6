#include "platform/folder_listing_cache.h"
#include "platform/system_calls.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <shared_mutex>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "platform/path_util.h"

namespace tessaro::platform {

namespace {

// A bound on the folders watched; past it the cache starts afresh.
constexpr std::size_t kMaxFolders = 4096;
constexpr std::uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_ONLYDIR;

struct Listing {
    std::unordered_set<std::string> names;
    std::unordered_map<std::string, std::vector<std::string>> byUpper;  // every entry equal ignoring case

    void Add(std::string name) {
        if (!names.insert(name).second) return;
        byUpper[UpperAscii(name)].push_back(std::move(name));
    }
    void Remove(const std::string& name) {
        if (!names.erase(name)) return;
        auto it = byUpper.find(UpperAscii(name));
        if (it == byUpper.end()) return;
        std::erase(it->second, name);
        if (it->second.empty()) byUpper.erase(it);
    }
};

using Inode = std::pair<dev_t, ino_t>;

// Listings of watched folders, kept current by the watch's events: a change has queued its
// event by the time the call that made it returns, and every lookup first applies the
// queue, so the lookup after a change sees it. Events are applied under the exclusive lock;
// a lookup that finds the queue empty under the shared lock answers from the listings as
// they are (every event queued before it has been applied), so request threads looking
// up names at the same time do not wait for each other.
struct Cache {
    std::shared_mutex mutex;
    int watchFd = -1;
    bool unavailable = false;
    std::unordered_map<int, Listing> byWatch;
    std::map<Inode, int> watchOf;
    std::unordered_map<int, Inode> inodeOf;

    void Reset() {
        if (watchFd >= 0) SystemCalls().close(watchFd);
        watchFd = -1;
        byWatch.clear();
        watchOf.clear();
        inodeOf.clear();
    }
    void Forget(int watch) {
        auto it = inodeOf.find(watch);
        if (it != inodeOf.end()) {
            watchOf.erase(it->second);
            inodeOf.erase(it);
        }
        byWatch.erase(watch);
    }
    // Nothing queued (the caller holds the lock, shared or exclusive).
    bool QueueEmpty() const {
        int queued = 0;
        return watchFd >= 0 && SystemCalls().ioctl(watchFd, FIONREAD, &queued) == 0 && queued == 0;
    }
    // The listing of a folder watched already; null otherwise.
    const Listing* Known(const Inode& inode) const {
        auto known = watchOf.find(inode);
        if (known == watchOf.end()) return nullptr;
        auto listing = byWatch.find(known->second);
        return listing == byWatch.end() ? nullptr : &listing->second;
    }
    // False when events were lost: nothing kept can be trusted then.
    bool ApplyEvents() {
        alignas(inotify_event) char buffer[16384];
        for (;;) {
            ssize_t n = SystemCalls().read(watchFd, buffer, sizeof buffer);
            if (n <= 0) return n == 0 || errno == EAGAIN || errno == EWOULDBLOCK;
            for (char* p = buffer; p < buffer + n;) {
                auto* event = reinterpret_cast<inotify_event*>(p);
                p += sizeof(inotify_event) + event->len;
                if (event->mask & IN_Q_OVERFLOW) return false;
                if (event->mask & (IN_IGNORED | IN_DELETE_SELF)) {
                    Forget(event->wd);
                    continue;
                }
                auto it = byWatch.find(event->wd);
                if (it == byWatch.end() || event->len == 0) continue;
                std::string name(event->name);
                if (event->mask & (IN_CREATE | IN_MOVED_TO))
                    it->second.Add(std::move(name));
                else if (event->mask & (IN_DELETE | IN_MOVED_FROM))
                    it->second.Remove(name);
            }
        }
    }
};

Cache& TheCache() {
    static Cache* cache = [] {
        auto* made = new Cache;  // never destroyed: lookups may run during exit
        // A forked child shares the watch's queue with its parent: reading it would take the
        // parent's reports. The child starts afresh with a watch of its own, and the lock is
        // held across the fork so that the child never inherits it taken.
        SystemCalls().pthread_atfork([] { TheCache().mutex.lock(); }, [] { TheCache().mutex.unlock(); },
                                     [] {
                                         Cache& child = TheCache();
                                         child.watchFd = -1;  // the parent's; closed by exec (close-on-exec)
                                         child.Reset();
                                         // A reader-writer lock taken before the fork cannot be released
                                         // by the child's thread (it is not the owner the lock recorded):
                                         // the child gets a new one.
                                         new (&child.mutex) std::shared_mutex();
                                     });
        return made;
    }();
    return *cache;
}

bool ReadNames(const std::string& folder, Listing* listing) {
    DIR* dir = SystemCalls().opendir(folder.c_str());
    if (!dir) return false;
    while (struct dirent* entry = SystemCalls().readdir(dir)) listing->Add(entry->d_name);
    SystemCalls().closedir(dir);
    return true;
}

// The first entry in directory order equal to name ignoring case; the folder read directly.
FolderLookup ScanFolder(const std::string& folder, const std::string& name) {
    FolderLookup result;
    DIR* dir = SystemCalls().opendir(folder.c_str());
    if (!dir) return result;
    result.listed = true;
    while (struct dirent* entry = SystemCalls().readdir(dir)) {
        std::string_view candidate(entry->d_name);
        if (candidate == name) {
            result.exact = true;
            result.match.clear();
            break;
        }
        if (result.match.empty() && EqualsNoCase(candidate, name)) result.match.assign(candidate);
    }
    SystemCalls().closedir(dir);
    return result;
}

// The listing of the folder, watched from now on; nullptr when it cannot be watched.
// Called with the lock held.
Listing* WatchedListing(Cache& cache, const std::string& folder, const Inode& inode) {
    if (cache.unavailable) return nullptr;
    if (cache.watchFd < 0) {
        cache.watchFd = SystemCalls().inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (cache.watchFd < 0) {
            cache.unavailable = true;
            return nullptr;
        }
    }
    if (!cache.ApplyEvents()) cache.Reset();
    auto known = cache.watchOf.find(inode);
    if (known != cache.watchOf.end()) return &cache.byWatch[known->second];
    if (cache.watchFd < 0) return nullptr;  // reset above: the next lookup starts afresh
    if (cache.byWatch.size() >= kMaxFolders || !ChangesAreAllSeen(folder)) return nullptr;
    // Watched before it is read: a change during the read is applied after it.
    int watch = SystemCalls().inotify_add_watch(cache.watchFd, folder.c_str(), kWatchMask);
    if (watch < 0) return nullptr;
    struct stat st;
    if (SystemCalls().stat(folder.c_str(), &st) != 0 || Inode(st.st_dev, st.st_ino) != inode) return nullptr;  // replaced meanwhile
    Listing& listing = cache.byWatch[watch];
    listing = Listing();
    if (!ReadNames(folder, &listing)) {
        SystemCalls().inotify_rm_watch(cache.watchFd, watch);
        cache.byWatch.erase(watch);
        return nullptr;
    }
    cache.watchOf[inode] = watch;
    cache.inodeOf[watch] = inode;
    if (!cache.ApplyEvents()) {
        cache.Reset();
        return nullptr;
    }
    auto again = cache.watchOf.find(inode);
    return again == cache.watchOf.end() ? nullptr : &cache.byWatch[again->second];
}

// The answer from a listing; false when several names differ from `name` only in case:
// which comes first is the folder's own order, so the folder must be read.
bool Answer(const Listing& listing, const std::string& name, FolderLookup& result) {
    result.listed = true;
    result.exact = listing.names.count(name) != 0;
    if (result.exact) return true;
    auto it = listing.byUpper.find(UpperAscii(name));
    if (it == listing.byUpper.end()) return true;
    if (it->second.size() != 1) return false;
    result.match = it->second.front();
    return true;
}

}  // namespace

FolderLookup LookUpInFolder(const std::string& folderIn, const std::string& name) {
    const std::string folder = folderIn.empty() ? std::string(".") : folderIn;
    struct stat st;
    if (SystemCalls().stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
    Cache& cache = TheCache();
    const Inode inode(st.st_dev, st.st_ino);
    bool ambiguous = false;
    {
        std::shared_lock shared(cache.mutex);
        if (cache.QueueEmpty()) {
            if (const Listing* listing = cache.Known(inode)) {
                FolderLookup result;
                if (Answer(*listing, name, result)) return result;
                ambiguous = true;
            }
        }
    }
    if (!ambiguous) {
        std::lock_guard lock(cache.mutex);
        if (Listing* listing = WatchedListing(cache, folder, inode)) {
            FolderLookup result;
            if (Answer(*listing, name, result)) return result;
        }
    }
    return ScanFolder(folder, name);
}

void ClearFolderListings() {
    Cache& cache = TheCache();
    std::lock_guard lock(cache.mutex);
    cache.Reset();
    cache.unavailable = false;
}

}  // namespace tessaro::platform

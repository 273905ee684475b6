#include "platform/folder_listing_cache.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/path_util.h"

namespace tessaro::platform {

namespace {

// A bound on the folders watched; past it the cache starts afresh.
constexpr std::size_t kMaxFolders = 4096;
constexpr std::uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_ONLYDIR;

// File systems whose every change reaches the watch; on others (network file systems)
// another machine may change a folder unseen, so those folders are always read afresh.
bool ChangesAreAllSeen(const std::string& folder) {
    struct statfs fs;
    if (::statfs(folder.c_str(), &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
        case 0xEF53UL:      // ext2/3/4
        case 0x58465342UL:  // xfs
        case 0x9123683EUL:  // btrfs
        case 0x01021994UL:  // tmpfs
        case 0x794C7630UL:  // overlay
        case 0x858458F6UL:  // ramfs
        case 0xF2F52010UL:  // f2fs
            return true;
        default:
            return false;
    }
}

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
// queue, so the lookup after a change sees it.
struct Cache {
    // Lookups of a folder already listed, with no report waiting, share the lock; applying
    // reports and listing a new folder take it alone.
    std::shared_mutex mutex;
    std::atomic<int> watchFd = -1;  // read unlocked to look for waiting reports
    std::atomic<unsigned long> resets = 0;  // a reopened watch may reuse the number of the old one
    bool unavailable = false;
    std::unordered_map<int, Listing> byWatch;
    std::map<Inode, int> watchOf;
    std::unordered_map<int, Inode> inodeOf;

    void Reset() {
        if (watchFd >= 0) ::close(watchFd);
        watchFd = -1;
        ++resets;
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
    // False when events were lost: nothing kept can be trusted then.
    bool ApplyEvents() {
        alignas(inotify_event) char buffer[16384];
        for (;;) {
            ssize_t n = ::read(watchFd, buffer, sizeof buffer);
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
        ::pthread_atfork([] { TheCache().mutex.lock(); }, [] { TheCache().mutex.unlock(); },
                         [] {
                             Cache& child = TheCache();
                             child.watchFd = -1;  // the parent's; closed by exec (close-on-exec)
                             child.Reset();
                             // A reader-writer lock knows its writer by thread id, which the
                             // child's only thread does not share: it gets a new, free lock.
                             new (&child.mutex) std::shared_mutex;
                         });
        return made;
    }();
    return *cache;
}

bool ReadNames(const std::string& folder, Listing* listing) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return false;
    while (struct dirent* entry = ::readdir(dir)) listing->Add(entry->d_name);
    ::closedir(dir);
    return true;
}

// The first entry in directory order equal to name ignoring case; the folder read directly.
FolderLookup ScanFolder(const std::string& folder, const std::string& name) {
    FolderLookup result;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return result;
    result.listed = true;
    while (struct dirent* entry = ::readdir(dir)) {
        std::string_view candidate(entry->d_name);
        if (candidate == name) {
            result.exact = true;
            result.match.clear();
            break;
        }
        if (result.match.empty() && EqualsNoCase(candidate, name)) result.match.assign(candidate);
    }
    ::closedir(dir);
    return result;
}

// The listing of the folder, watched from now on; nullptr when it cannot be watched.
// Called with the lock held.
Listing* WatchedListing(Cache& cache, const std::string& folder, const Inode& inode) {
    if (cache.unavailable) return nullptr;
    if (cache.watchFd < 0) {
        cache.watchFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
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
    int watch = ::inotify_add_watch(cache.watchFd, folder.c_str(), kWatchMask);
    if (watch < 0) return nullptr;
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0 || Inode(st.st_dev, st.st_ino) != inode) return nullptr;  // replaced meanwhile
    Listing& listing = cache.byWatch[watch];
    listing = Listing();
    if (!ReadNames(folder, &listing)) {
        ::inotify_rm_watch(cache.watchFd, watch);
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

// The answer from a listing; nothing when several names differ only in case (which comes
// first is the folder's own order, so the folder is read).
std::optional<FolderLookup> AnswerFromListing(const Listing& listing, const std::string& name) {
    FolderLookup result;
    result.listed = true;
    result.exact = listing.names.count(name) != 0;
    if (result.exact) return result;
    auto it = listing.byUpper.find(UpperAscii(name));
    if (it == listing.byUpper.end()) return result;
    if (it->second.size() != 1) return std::nullopt;
    result.match = it->second.front();
    return result;
}

bool ReportsWaiting(int watchFd) {
    struct pollfd waiting = {watchFd, POLLIN, 0};
    return ::poll(&waiting, 1, 0) != 0;  // an error counts as waiting: the locked road sorts it out
}

}  // namespace

FolderLookup LookUpInFolder(const std::string& folderIn, const std::string& name) {
    const std::string folder = folderIn.empty() ? std::string(".") : folderIn;
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
    const Inode inode(st.st_dev, st.st_ino);
    Cache& cache = TheCache();
    // A report queued before this point is seen by the poll; one queued after it belongs to a
    // change this lookup may miss, as it would had the lookup come first.
    const unsigned long resets = cache.resets.load();
    const int watchFd = cache.watchFd.load();
    bool known = false;
    if (watchFd >= 0 && !ReportsWaiting(watchFd)) {
        std::shared_lock lock(cache.mutex);
        auto watch = cache.watchOf.find(inode);
        if (cache.resets.load() == resets && cache.watchFd.load() == watchFd && watch != cache.watchOf.end()) {
            auto listing = cache.byWatch.find(watch->second);
            if (listing != cache.byWatch.end()) {
                if (auto answer = AnswerFromListing(listing->second, name)) return *answer;
                known = true;
            }
        }
    }
    if (!known) {
        std::unique_lock lock(cache.mutex);
        if (Listing* listing = WatchedListing(cache, folder, inode))
            if (auto answer = AnswerFromListing(*listing, name)) return *answer;
    }
    return ScanFolder(folder, name);
}

void ClearFolderListings() {
    Cache& cache = TheCache();
    std::unique_lock lock(cache.mutex);
    cache.Reset();
    cache.unavailable = false;
}

}  // namespace tessaro::platform

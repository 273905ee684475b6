#include "platform/name_change_watch.h"
#include "platform/system_calls.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <deque>

#include "platform/file_system.h"
#include "platform/path_util.h"

namespace tessaro::platform {

namespace {

// An entry of a watched folder created, removed, renamed or changed (mode, owner, links), and
// the folder itself changed, moved or removed. Never through a link: the folders are real.
constexpr std::uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                                     IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW;
// The system's own bound on links followed in one resolution.
constexpr int kMaxLinks = 40;

std::string Joined(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

std::string ParentOf(const std::string& folder) {
    const std::size_t slash = folder.rfind('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : folder.substr(0, slash);
}

// The components of path, first one first.
std::deque<std::string> Components(const std::string& path) {
    std::deque<std::string> parts;
    std::size_t at = 0;
    while (at <= path.size()) {
        std::size_t end = path.find('/', at);
        if (end == std::string::npos) end = path.size();
        if (end > at) parts.emplace_back(path, at, end - at);
        at = end + 1;
    }
    return parts;
}

// A folder this process may not search (someone else's home, for an account started with
// it in its environment): nothing below it can be reached, and that lasts until its entry
// changes (mode, owner, access list), which the watch on its parent reports. The root has
// no parent to report it.
bool IsClosedToThisProcess(const std::string& folder) {
    return folder != "/" && SystemCalls().faccessat(AT_FDCWD, folder.c_str(), X_OK, AT_EACCESS) != 0 && errno == EACCES;
}

}  // namespace

NameChangeWatch::~NameChangeWatch() {
    Forget();
}

bool NameChangeWatch::Open() {
    if (m_reports >= 0 && m_mounts >= 0) return true;
    Forget();
    m_reports = SystemCalls().inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    m_mounts = SystemCalls().open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (m_reports >= 0 && m_mounts >= 0) return true;
    Forget();
    return false;
}

void NameChangeWatch::Forget() {
    if (m_reports >= 0) SystemCalls().close(m_reports);
    if (m_mounts >= 0) SystemCalls().close(m_mounts);
    m_reports = m_mounts = -1;
    m_names.clear();
}

void NameChangeWatch::ForgetAfterFork() {
    // Closing drops only this process's reference: the parent keeps its watches and reports.
    Forget();
}

bool NameChangeWatch::WatchName(const std::string& folder, const std::string& name) {
    if (!ChangesAreAllSeen(folder)) return false;
    const int watch = SystemCalls().inotify_add_watch(m_reports, folder.c_str(), kWatchMask);
    if (watch < 0) return false;
    m_names[watch].insert(name);
    return true;
}

bool NameChangeWatch::Resolve(const std::string& path) {
    if (path.empty() || path.front() != '/') return false;
    std::deque<std::string> pending = Components(path);
    std::string folder = "/";
    int links = 0;
    while (!pending.empty()) {
        const std::string name = std::move(pending.front());
        pending.pop_front();
        if (name == ".") continue;
        // The folder is real (every link on the way was followed), so its parent is the text's.
        if (name == "..") {
            folder = ParentOf(folder);
            continue;
        }
        // Watched before it is looked at: a change after the look is reported.
        if (!WatchName(folder, name)) return IsClosedToThisProcess(folder);
        const std::string entry = Joined(folder, name);
        struct stat st;
        if (SystemCalls().lstat(entry.c_str(), &st) != 0) {
            // Its making would be reported, and so would the change that opens a closed folder.
            return errno == ENOENT || (errno == EACCES && folder != "/");
        }
        if (S_ISDIR(st.st_mode)) {
            folder = entry;
            continue;
        }
        if (!S_ISLNK(st.st_mode)) return true;  // nothing lies below a file
        if (++links > kMaxLinks) return false;
        char target[4096];
        const ssize_t n = SystemCalls().readlink(entry.c_str(), target, sizeof target);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target) return false;
        std::deque<std::string> more = Components(std::string(target, static_cast<std::size_t>(n)));
        pending.insert(pending.begin(), more.begin(), more.end());
        if (target[0] == '/') folder.assign(1, '/');
    }
    return true;
}

bool NameChangeWatch::Watch(const std::vector<std::string>& paths) {
    if (!Open()) return false;
    bool all = true;
    for (const std::string& path : paths) all = Resolve(ToUnixPath(path)) && all;
    return all;
}

bool NameChangeWatch::ReadReports() {
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t n = SystemCalls().read(m_reports, buffer, sizeof buffer);
        if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK;
        if (n == 0) return false;
        for (char* p = buffer; p < buffer + n;) {
            const auto* report = reinterpret_cast<const inotify_event*>(p);
            p += sizeof(inotify_event) + report->len;
            // Lost reports, a watch gone, the folder itself changed, moved or unmounted.
            if ((report->mask & (IN_Q_OVERFLOW | IN_IGNORED | IN_UNMOUNT | IN_DELETE_SELF | IN_MOVE_SELF)) != 0 ||
                report->len == 0)
                return false;
            auto names = m_names.find(report->wd);
            if (names != m_names.end() && names->second.count(report->name) != 0) return false;
        }
    }
}

bool NameChangeWatch::Unchanged() {
    if (m_reports < 0 || m_mounts < 0) {
        Forget();
        return true;  // nothing watched, nothing to tell
    }
    pollfd queued[2] = {{m_reports, POLLIN, 0}, {m_mounts, POLLPRI, 0}};
    int ready = SystemCalls().poll(queued, 2, 0);
    if (ready == 0) return true;
    const bool unchanged = ready > 0 && (queued[0].revents & ~POLLIN) == 0 && queued[1].revents == 0 &&
                           ((queued[0].revents & POLLIN) == 0 || ReadReports());
    if (!unchanged) Forget();
    return unchanged;
}

}  // namespace tessaro::platform

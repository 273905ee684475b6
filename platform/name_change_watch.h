// Tells whether what some paths name may have changed since they were watched. What a path
// names follows from the entries of the folders its resolution looks in (links followed) and
// from the mount table: the system reports every entry created, removed, renamed or changed
// in a watched folder by the time the call that made the change returns, and every change of
// the mount table. So a result computed from what the paths named, kept while Unchanged()
// holds, is what computing it again would give.
//
// Not thread-safe: its owner serialises the calls. A forked child must call ForgetAfterFork()
// before it uses the watch (the reports are queued for the parent).
#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tessaro::platform {

class NameChangeWatch {
public:
    NameChangeWatch() = default;
    ~NameChangeWatch();
    NameChangeWatch(const NameChangeWatch&) = delete;
    NameChangeWatch& operator=(const NameChangeWatch&) = delete;

    // Watches every folder the resolution of each path looks in, for the name it looks up
    // there. False when a change could go unreported: a relative path, a folder that cannot
    // be searched or watched or lies on a file system another machine may change, a chain of
    // links too long. Unchanged() then says nothing about these paths.
    bool Watch(const std::vector<std::string>& paths);

    // Applies the reports queued: false when a watched name, a watched folder itself or the
    // mount table may have changed since it was watched, or reports were lost. Everything
    // watched is forgotten then (watch again before relying on it).
    bool Unchanged();

    // Forgets every watch without reading or closing what the parent process shares.
    void ForgetAfterFork();

private:
    bool Open();
    bool WatchName(const std::string& folder, const std::string& name);
    bool Resolve(const std::string& path);
    bool ReadReports();
    void Forget();

    int m_reports = -1;  // the inotify instance
    int m_mounts = -1;   // the mount table, which reports a change as an exceptional condition
    std::unordered_map<int, std::unordered_set<std::string>> m_names;  // per watched folder
};

}  // namespace tessaro::platform

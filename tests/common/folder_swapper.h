// A folder of a path that another local user can write, swapped for a link and back as fast
// as the system allows while the object lives: the path names the real folder one moment
// and the link's target the next. The check-then-use races of file roads are run against it.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace tessaro::test {

class FolderSwapper {
public:
    // folder must be a real folder; target is where the link leads.
    FolderSwapper(const std::string& folder, const std::string& target);
    // The real folder is back under its name and the link is gone.
    ~FolderSwapper();
    FolderSwapper(const FolderSwapper&) = delete;
    FolderSwapper& operator=(const FolderSwapper&) = delete;

    // How many times the two were swapped.
    long Swaps() const { return m_swaps; }

private:
    std::string m_folder, m_link;
    std::atomic<bool> m_stop{false};
    std::atomic<long> m_swaps{0};
    std::thread m_thread;
};

}  // namespace tessaro::test

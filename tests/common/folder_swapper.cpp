#include "tests/common/folder_swapper.h"

#include <fcntl.h>
#include <stdio.h>

#include <filesystem>

namespace tessaro::test {

namespace fs = std::filesystem;

FolderSwapper::FolderSwapper(const std::string& folder, const std::string& target)
    : m_folder(folder), m_link(folder + ".swap") {
    fs::create_directory_symlink(target, m_link);
    // The two names are exchanged in one step: the path never names nothing.
    m_thread = std::thread([this] {
        while (!m_stop)
            if (::renameat2(AT_FDCWD, m_folder.c_str(), AT_FDCWD, m_link.c_str(), RENAME_EXCHANGE) == 0) ++m_swaps;
    });
}

FolderSwapper::~FolderSwapper() {
    m_stop = true;
    m_thread.join();
    std::error_code ec;
    if (fs::is_symlink(m_folder, ec))
        ::renameat2(AT_FDCWD, m_folder.c_str(), AT_FDCWD, m_link.c_str(), RENAME_EXCHANGE);
    fs::remove(m_link, ec);
}

}  // namespace tessaro::test

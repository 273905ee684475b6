#include "support/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/path_util.h"
#include "platform/win32_error.h"

namespace plat = tessaro::platform;

CMappedFile::CMappedFile(const std::string& path) {
    std::string physical = plat::ToUnixPath(path);
    // Non-blocking so that a FIFO is refused below instead of waiting for a writer.
    m_fd = ::open(physical.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) throw new CMappedFileException(plat::Win32LastErrno(), "Error attempting to open file to be mapped.");
    struct stat st;
    if (::fstat(m_fd, &st) != 0) {
        long err = plat::Win32LastErrno();
        ::close(m_fd);
        throw new CMappedFileException(err, "Error attempting to determine size of file to be mapped.");
    }
    if (!S_ISREG(st.st_mode) || st.st_size <= 0) {
        // An empty file (or something that is not a file) has nothing to map.
        ::close(m_fd);
        long err = S_ISDIR(st.st_mode) ? plat::ERROR_ACCESS_DENIED : 1006L;   // ERROR_FILE_INVALID
        throw new CMappedFileException(err, "Error attempting to create file mapping.");
    }
    m_size = static_cast<std::size_t>(st.st_size);
    void* view = ::mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE, m_fd, 0);
    if (view == MAP_FAILED) {
        long err = plat::Win32LastErrno();
        ::close(m_fd);
        throw new CMappedFileException(err, "Error attempting to map view of file.");
    }
    m_view = view;
}

CMappedFile::~CMappedFile() {
    if (m_view) ::munmap(m_view, m_size);
    if (m_fd >= 0) ::close(m_fd);
}

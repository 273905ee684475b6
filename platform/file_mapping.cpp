#include "platform/file_mapping.h"
#include "platform/system_calls.h"

#include <algorithm>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/win32_error.h"

namespace tessaro::platform {

FileMapping::~FileMapping() {
    Unmap();
}

void FileMapping::Unmap() {
    if (m_view) SystemCalls().munmap(m_view, m_size);
    if (m_fd >= 0) SystemCalls().close(m_fd);
    m_view = nullptr;
    m_fd = -1;
    m_size = 0;
}

FileMapping::Failure FileMapping::Map(const std::string& path, long* errorNumber) {
    Unmap();
    // Non-blocking so that a FIFO is refused below instead of waiting for a writer.
    m_fd = SystemCalls().open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        *errorNumber = Win32LastErrno();
        return Failure::Open;
    }
    struct stat st;
    if (SystemCalls().fstat(m_fd, &st) != 0) {
        *errorNumber = Win32LastErrno();
        Unmap();
        return Failure::Size;
    }
    if (!S_ISREG(st.st_mode) || st.st_size <= 0) {
        // An empty file (or something that is not a file) has nothing to map.
        *errorNumber = S_ISDIR(st.st_mode) ? ERROR_ACCESS_DENIED : 1006L;  // ERROR_FILE_INVALID
        Unmap();
        return Failure::Create;
    }
    const std::size_t size = static_cast<std::size_t>(st.st_size);
    void* view = SystemCalls().mmap(nullptr, size, PROT_READ, MAP_PRIVATE, m_fd, 0);
    if (view == MAP_FAILED) {
        *errorNumber = Win32LastErrno();
        Unmap();
        return Failure::View;
    }
    m_view = view;
    m_size = size;
    return Failure::None;
}

void FileMapping::ReleasePagesBefore(std::size_t offset) {
    if (!m_view) return;
    const long page = ::sysconf(_SC_PAGESIZE);
    if (page <= 0) return;
    const std::size_t length = std::min(offset, m_size) / static_cast<std::size_t>(page) * static_cast<std::size_t>(page);
    if (length > 0) SystemCalls().madvise(m_view, length, MADV_DONTNEED);
}

}  // namespace tessaro::platform

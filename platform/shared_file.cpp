#include "platform/shared_file.h"
#include "platform/system_calls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tessaro::platform {

int OpenShared(const std::string& path, int flags) {
    flags |= O_CLOEXEC;
    if ((flags & O_CREAT) == 0) return SystemCalls().open(path.c_str(), flags);
    // The common case first: the file is there.
    int fd = SystemCalls().open(path.c_str(), flags & ~(O_CREAT | O_EXCL));
    if (fd >= 0) {
        if (flags & O_EXCL) {
            SystemCalls().close(fd);
            errno = EEXIST;
            return -1;
        }
        return fd;
    }
    if (errno != ENOENT) return -1;
    fd = SystemCalls().open(path.c_str(), flags | O_EXCL, kSharedFileMode);
    if (fd >= 0) {
        SystemCalls().fchmod(fd, kSharedFileMode);  // the umask must not narrow the group's access
        return fd;
    }
    if (errno == EEXIST && (flags & O_EXCL) == 0) return SystemCalls().open(path.c_str(), flags & ~O_CREAT);
    return -1;
}

bool AppendShared(const std::string& path, const std::string& data) {
    int fd = OpenShared(path, O_WRONLY | O_APPEND | O_CREAT);
    if (fd < 0) return false;
    ssize_t n = SystemCalls().write(fd, data.data(), data.size());
    SystemCalls().close(fd);
    return n == static_cast<ssize_t>(data.size());
}

bool AppendToExisting(const std::string& path, const std::string& data) {
    int fd = SystemCalls().open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) return false;
    ssize_t n = SystemCalls().write(fd, data.data(), data.size());
    SystemCalls().close(fd);
    return n == static_cast<ssize_t>(data.size());
}

bool TouchShared(const std::string& path) {
    int fd = OpenShared(path, O_WRONLY | O_CREAT);
    if (fd < 0) return false;
    SystemCalls().close(fd);
    return true;
}

}  // namespace tessaro::platform

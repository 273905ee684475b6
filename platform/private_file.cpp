#include "platform/private_file.h"
#include "platform/system_calls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/home.h"
#include "platform/win32_error.h"

namespace tessaro::platform {

long EnsurePrivateDirectory(const std::string& path) {
    std::size_t cut = path.find_last_of('/');
    if (cut != std::string::npos && cut > 0) {
        long parent = EnsureDirectory(path.substr(0, cut));
        if (parent != 0) return parent;
    }
    if (SystemCalls().mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return Win32LastErrno();
    struct stat st;
    if (SystemCalls().lstat(path.c_str(), &st) != 0) return Win32LastErrno();
    if (!S_ISDIR(st.st_mode)) return 5;
    if ((st.st_mode & 07777) != 0700 && SystemCalls().chmod(path.c_str(), 0700) != 0) return Win32LastErrno();
    return 0;
}

namespace {

long ReadNoFollow(const std::string& path, bool ownOnly, std::string* bytes) {
    bytes->clear();
    int fd = SystemCalls().open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno == ELOOP ? 5 : Win32LastErrno();
    struct stat st;
    bool refused = SystemCalls().fstat(fd, &st) != 0 || !S_ISREG(st.st_mode);
    // A file this process's user wrote: its own, not writable by every user (the group
    // may write under a umask of 002), and no second name of another file.
    if (!refused && ownOnly) refused = st.st_uid != ::geteuid() || (st.st_mode & 002) != 0 || st.st_nlink != 1;
    if (refused) {
        SystemCalls().close(fd);
        return 5;
    }
    bytes->reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t n = RetryOnInterrupt([&] { return SystemCalls().read(fd, buffer, sizeof buffer); });
        if (n < 0) {
            long error = Win32LastErrno();
            SystemCalls().close(fd);
            return error;
        }
        if (n == 0) break;
        bytes->append(buffer, static_cast<std::size_t>(n));
    }
    SystemCalls().close(fd);
    return 0;
}

}  // namespace

long ReadRegularFileNoFollow(const std::string& path, std::string* bytes) {
    return ReadNoFollow(path, false, bytes);
}

long ReadOwnFileNoFollow(const std::string& path, std::string* bytes) {
    return ReadNoFollow(path, true, bytes);
}

}  // namespace tessaro::platform

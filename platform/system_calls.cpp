#include "platform/system_calls.h"

#include "platform/win32_error.h"

namespace tessaro::platform {

namespace system_call_detail {

int Open(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int OpenAt(int folder, const char* path, int flags, mode_t mode) { return ::openat(folder, path, flags, mode); }
int Fcntl(int fd, int command, long argument) { return ::fcntl(fd, command, argument); }
int FcntlLock(int fd, int command, struct flock* lock) { return ::fcntl(fd, command, lock); }
int Ioctl(int fd, unsigned long request, void* argument) { return ::ioctl(fd, request, argument); }

}  // namespace system_call_detail

constinit SystemCallTable systemCallTable;

namespace {

template <typename WriteOnce>
long WriteAllThrough(const void* data, std::size_t len, WriteOnce writeOnce) {
    const char* p = static_cast<const char*>(data);
    while (len > 0) {
        ssize_t n = RetryOnInterrupt([&] { return writeOnce(p, len); });
        if (n < 0) return Win32LastErrno();
        // A write that takes nothing would never end the loop.
        if (n == 0) return ERROR_GEN_FAILURE;
        p += n;
        len -= static_cast<std::size_t>(n);
    }
    return ERROR_SUCCESS;
}

}  // namespace

long WriteAll(int fd, const void* data, std::size_t len) {
    return WriteAllThrough(data, len, [fd](const char* p, std::size_t n) { return systemCallTable.write(fd, p, n); });
}

long WriteAllAt(int fd, const void* data, std::size_t len, off_t offset) {
    const char* start = static_cast<const char*>(data);
    return WriteAllThrough(data, len, [&](const char* p, std::size_t n) {
        return systemCallTable.pwrite(fd, p, n, offset + (p - start));
    });
}

long SendAll(int fd, const void* data, std::size_t len) {
    return WriteAllThrough(data, len,
                           [fd](const char* p, std::size_t n) { return systemCallTable.send(fd, p, n, MSG_NOSIGNAL); });
}

}  // namespace tessaro::platform

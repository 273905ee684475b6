#include "platform/file_ops.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/path_util.h"
#include "platform/win32_error.h"

namespace tessaro::platform {

namespace {

// Closes a descriptor on every way out.
class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    // Closes now, so that a failing close is seen.
    bool Close() {
        int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

long CopyDescriptors(int in, int out) {
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Win32LastErrno();
        }
        if (n == 0) return ERROR_SUCCESS;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(out, buffer + done, static_cast<std::size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                return Win32LastErrno();
            }
            done += w;
        }
    }
}

std::string Directory(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string RandomHex() {
    unsigned char bytes[4] = {};
    ssize_t n = ::getrandom(bytes, sizeof bytes, 0);
    if (n != static_cast<ssize_t>(sizeof bytes)) return {};
    char text[9];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X", bytes[0], bytes[1], bytes[2], bytes[3]);
    return text;
}

long CreateExclusive(const std::string& path, int* fdOut) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kTemplateFileMode);
    if (fd < 0) return errno == EEXIST ? ERROR_FILE_EXISTS : Win32LastErrno();
    // The mode is meant whatever the umask is.
    ::fchmod(fd, kTemplateFileMode);
    *fdOut = fd;
    return ERROR_SUCCESS;
}

long UniqueFile(const std::string& dir, const std::string& prefix, const std::string& ext, std::string* path,
                int* fdOut) {
    std::string base = ToUnixPath(dir);
    if (base.empty()) base = ".";
    if (base.back() != '/') base += '/';
    long last = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 10; ++attempt) {
        std::string hex = RandomHex();
        if (hex.empty()) return Win32LastErrno();
        std::string candidate = base + prefix + hex + (ext.empty() ? "" : "." + ext);
        last = CreateExclusive(candidate, fdOut);
        if (last == ERROR_SUCCESS) {
            *path = candidate;
            return ERROR_SUCCESS;
        }
        if (last != ERROR_FILE_EXISTS) return last;
    }
    return last;
}

// Opens path without following a link in its last component and without waiting on a
// FIFO; it must be a regular file that the check allows. The descriptor goes to *fdOut.
long OpenChecked(const std::string& path, int flags, const OpenedFileCheck& check, int* fdOut) {
    int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, kTemplateFileMode);
    if (fd < 0) return errno == ELOOP || errno == ENXIO || errno == EISDIR ? ERROR_ACCESS_DENIED : Win32LastErrno();
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (check && !check(DescriptorPath(fd)))) {
        ::close(fd);
        return ERROR_ACCESS_DENIED;
    }
    *fdOut = fd;
    return ERROR_SUCCESS;
}

// Copies from into a new hidden file beside to and renames it over to.
long CopyBesideAndRename(const std::string& from, const std::string& to, const OpenedFileCheck& check = {}) {
    int inFd = -1;
    if (check) {
        if (long err = OpenChecked(from, O_RDONLY, check, &inFd); err != ERROR_SUCCESS) return err;
    } else {
        inFd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    }
    Fd in(inFd);
    if (in.get() < 0) return Win32LastErrno();
    std::string staging;
    int fd = -1;
    long err = UniqueFile(Directory(to), ".BTS", "", &staging, &fd);
    if (err != ERROR_SUCCESS) return err;
    Fd out(fd);
    err = CopyDescriptors(in.get(), out.get());
    if (err == ERROR_SUCCESS && !out.Close()) err = Win32LastErrno();
    if (err == ERROR_SUCCESS && ::rename(staging.c_str(), to.c_str()) != 0) err = Win32LastErrno();
    if (err != ERROR_SUCCESS) ::unlink(staging.c_str());
    return err;
}

}  // namespace

long GetFileStatus(const std::string& pathIn, FileStatus* status) {
    std::string path = ToUnixPath(pathIn);
    struct statx sx {};
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return Win32LastErrno();
    status->isDirectory = S_ISDIR(sx.stx_mode);
    status->size = sx.stx_size;
    status->created = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec : sx.stx_ctime.tv_sec;
    status->modified = sx.stx_mtime.tv_sec;
    status->accessed = sx.stx_atime.tv_sec;
    return ERROR_SUCCESS;
}

long MoveFileReplacing(const std::string& fromIn, const std::string& toIn, const OpenedFileCheck& check) {
    std::string from = ToUnixPath(fromIn), to = ToUnixPath(toIn);
    if (check) {
        // What is moved is judged as it is: a link or a special file is not moved.
        int fd = -1;
        if (long err = OpenChecked(from, O_RDONLY, check, &fd); err != ERROR_SUCCESS) return err;
        ::close(fd);
    }
    if (::rename(from.c_str(), to.c_str()) == 0) return ERROR_SUCCESS;
    if (errno != EXDEV) return Win32LastErrno();
    long err = CopyBesideAndRename(from, to, check);
    if (err != ERROR_SUCCESS) return err;
    return ::unlink(from.c_str()) == 0 ? ERROR_SUCCESS : Win32LastErrno();
}

long CopyFileReplacing(const std::string& from, const std::string& to, const OpenedFileCheck& check) {
    return CopyBesideAndRename(ToUnixPath(from), ToUnixPath(to), check);
}

long ReserveNewFile(const std::string& path) {
    int fd = -1;
    long err = CreateExclusive(ToUnixPath(path), &fd);
    if (err == ERROR_SUCCESS) ::close(fd);
    return err;
}

long ReserveUniqueFile(const std::string& dir, const std::string& prefix, const std::string& ext, std::string* path) {
    int fd = -1;
    long err = UniqueFile(dir, prefix, ext, path, &fd);
    if (err == ERROR_SUCCESS) ::close(fd);
    return err;
}

long CopyFileData(const std::string& from, const std::string& to) {
    Fd in(::open(ToUnixPath(from).c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) return Win32LastErrno();
    Fd out(::open(ToUnixPath(to).c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW));
    if (out.get() < 0) return Win32LastErrno();
    long err = CopyDescriptors(in.get(), out.get());
    if (err == ERROR_SUCCESS && !out.Close()) err = Win32LastErrno();
    return err;
}

long DeleteFileAt(const std::string& path) {
    return ::unlink(ToUnixPath(path).c_str()) == 0 ? ERROR_SUCCESS : Win32LastErrno();
}

long WriteTextFile(const std::string& pathIn, const std::string& text, bool append, const OpenedFileCheck& check) {
    const std::string path = ToUnixPath(pathIn);
    const int flags = O_WRONLY | (append ? O_APPEND : 0);
    int opened = -1;
    long err = OpenChecked(path, flags, check, &opened);
    if (err == ERROR_FILE_NOT_FOUND) {
        // Made here, so a file the check refuses is taken away again.
        err = OpenChecked(path, flags | O_CREAT | O_EXCL, {}, &opened);
        if (err == ERROR_SUCCESS) ::fchmod(opened, kTemplateFileMode);
        if (err == ERROR_SUCCESS && check && !check(DescriptorPath(opened))) {
            ::unlink(path.c_str());
            ::close(opened);
            return ERROR_ACCESS_DENIED;
        }
        if (err == ERROR_FILE_EXISTS) err = OpenChecked(path, flags, check, &opened);
    }
    if (err != ERROR_SUCCESS) return err;
    Fd fd(opened);
    // Truncated only once the lock is held, so a writer in progress is not cut short.
    if (::flock(fd.get(), LOCK_EX) != 0) return Win32LastErrno();
    if (!append && ::ftruncate(fd.get(), 0) != 0) return Win32LastErrno();
    for (std::size_t done = 0; done < text.size();) {
        ssize_t w = ::write(fd.get(), text.data() + done, text.size() - done);
        if (w < 0) {
            if (errno == EINTR) continue;
            return Win32LastErrno();
        }
        done += static_cast<std::size_t>(w);
    }
    return fd.Close() ? ERROR_SUCCESS : Win32LastErrno();
}

long ReadWholeFile(const std::string& path, std::string* bytes) {
    bytes->clear();
    Fd fd(::open(ToUnixPath(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return Win32LastErrno();
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Win32LastErrno();
        }
        if (n == 0) return ERROR_SUCCESS;
        bytes->append(buffer, static_cast<std::size_t>(n));
    }
}

long ReadCheckedFile(const std::string& path, std::size_t limit, const OpenedFileCheck& check, std::string* bytes) {
    bytes->clear();
    int opened = -1;
    if (long err = OpenChecked(ToUnixPath(path), O_RDONLY, check, &opened); err != ERROR_SUCCESS) return err;
    Fd fd(opened);
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            bytes->clear();
            return Win32LastErrno();
        }
        if (n == 0) return ERROR_SUCCESS;
        if (bytes->size() + static_cast<std::size_t>(n) > limit) {
            bytes->clear();
            bytes->shrink_to_fit();
            return ERROR_FILE_TOO_LARGE;
        }
        bytes->append(buffer, static_cast<std::size_t>(n));
    }
}

std::string DescriptorPath(int fd) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[4096];
    ssize_t n = ::readlink(link, target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace tessaro::platform

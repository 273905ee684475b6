#include "platform/file_system.h"
#include "platform/system_calls.h"
#include "platform/win32_error.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace tessaro::platform {

FileKind GetFileKind(const std::string& path) {
    struct stat st;
    if (SystemCalls().stat(path.c_str(), &st) != 0) return FileKind::Missing;
    if (S_ISDIR(st.st_mode)) return FileKind::Directory;
    if (S_ISREG(st.st_mode)) return FileKind::Regular;
    return FileKind::Other;
}

std::uint64_t RegularFileSize(const std::string& path) {
    struct stat st;
    if (SystemCalls().stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

std::uint64_t ReadableFileSize(const std::string& path) {
    int fd = SystemCalls().open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return 0;
    struct stat st;
    std::uint64_t size =
        SystemCalls().fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    SystemCalls().close(fd);
    return size;
}

long CreateNewFile(const std::string& path, unsigned mode) {
    int fd = SystemCalls().open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode));
    if (fd < 0) return Win32LastErrno();
    SystemCalls().close(fd);
    return ERROR_SUCCESS;
}

int OpenForOverwrite(const std::string& path, unsigned mode) {
    return SystemCalls().open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, static_cast<mode_t>(mode));
}

int OpenForReading(const std::string& path) {
    return SystemCalls().open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

long WriteFileFromStart(const std::string& path, const void* data, std::size_t n, bool keepRest) {
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (keepRest ? 0 : O_TRUNC);
    int fd = SystemCalls().open(path.c_str(), flags, 0660);
    if (fd < 0) return Win32LastErrno();
    if (long err = WriteAllAt(fd, data, n, 0); err != ERROR_SUCCESS) {
        SystemCalls().close(fd);
        return err;
    }
    return SystemCalls().close(fd) == 0 ? ERROR_SUCCESS : Win32LastErrno();
}

long RemoveFile(const std::string& path) {
    return SystemCalls().unlink(path.c_str()) == 0 ? ERROR_SUCCESS : Win32LastErrno();
}

long RemoveEmptyDirectory(const std::string& path) {
    return SystemCalls().rmdir(path.c_str()) == 0 ? ERROR_SUCCESS : Win32LastErrno();
}

bool FileTimeSeconds(const std::string& path, std::int64_t* seconds) {
    struct stat st {};
    if (SystemCalls().stat(path.c_str(), &st) != 0) return false;
    *seconds = static_cast<std::int64_t>(st.st_mtime);
    return true;
}

bool SetFileMode(const std::string& path, unsigned mode) {
    return SystemCalls().chmod(path.c_str(), static_cast<mode_t>(mode)) == 0;
}

bool ChangesAreAllSeen(const std::string& folder) {
    struct statfs fs;
    if (SystemCalls().statfs(folder.c_str(), &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
        case 0xEF53UL:      // ext2/3/4
        case 0x58465342UL:  // xfs
        case 0x9123683EUL:  // btrfs
        case 0x01021994UL:  // tmpfs
        case 0x794C7630UL:  // overlay
        case 0x858458F6UL:  // ramfs
        case 0xF2F52010UL:  // f2fs
            return true;
        default:
            return false;
    }
}

}  // namespace tessaro::platform

#include "support/file_helpers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/path_util.h"
#include "support/text_helpers.h"

namespace plat = tessaro::platform;

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Length of a leading drive ("C:") in a client or template path.
std::size_t DriveLength(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
        return 2;
    }
    return 0;
}

std::size_t LastSeparator(const std::string& path) { return path.find_last_of("\\/"); }

}  // namespace

std::uint64_t GetFileSizeByName(const std::string& path) {
    // Non-blocking: opening a FIFO for reading would otherwise wait for a writer.
    int fd = ::open(plat::ToUnixPath(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return 0;
    struct stat st;
    // Only a file has a size here: a folder cannot be opened as a file on Windows either.
    std::uint64_t size = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0
                             ? static_cast<std::uint64_t>(st.st_size)
                             : 0;
    ::close(fd);
    return size;
}

bool PathExists(const std::string& path) {
    std::string trimmed = TrimmedCopy(path);
    if (trimmed.empty()) return false;
    struct stat st;
    return ::stat(plat::ToUnixPath(trimmed).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path) {
    if (path.empty()) return false;
    struct stat st;
    return ::stat(plat::ToUnixPath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string GetPathDirectory(const std::string& path) {
    std::size_t sep = LastSeparator(path);
    if (sep == std::string::npos) return path.substr(0, DriveLength(path));
    return path.substr(0, sep + 1);
}

void SplitPath(const std::string& path, std::string& dir, std::string& name, std::string& ext) {
    std::size_t sep = LastSeparator(path);
    std::size_t nameStart = sep == std::string::npos ? DriveLength(path) : sep + 1;
    dir = path.substr(0, nameStart);
    // The directory part never ends in a separator, except a lone root.
    while (dir.size() > 1 && IsSeparator(dir.back()) && dir.size() > DriveLength(dir) + 1) dir.pop_back();
    if (dir.size() == DriveLength(dir) + 1 && IsSeparator(dir.back()) && DriveLength(dir) > 0) dir.pop_back();
    name = path.substr(nameStart);
    std::size_t dot = name.find_last_of('.');
    ext.clear();
    if (dot != std::string::npos) {
        std::string part = name.substr(dot);   // with its dot
        if (part.size() >= 2) ext = part.substr(1);
    }
}

bool WriteFileContents(const void* data, std::size_t n, const std::string& path, bool keep) {
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (keep ? 0 : O_TRUNC);
    int fd = ::open(plat::ToUnixPath(path).c_str(), flags, 0660);
    if (fd < 0) return false;
    const char* p = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < n) {
        ssize_t w = ::pwrite(fd, p + done, n - done, static_cast<off_t>(done));
        if (w < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return false;
        }
        done += static_cast<std::size_t>(w);
    }
    return ::close(fd) == 0;
}

const char* FindBytes(const char* needle, const char* haystack, std::size_t length) {
    if (!needle || !haystack) return nullptr;
    std::size_t n = std::strlen(needle);
    if (n == 0) return haystack;
    if (n > length) return nullptr;
    const void* hit = ::memmem(haystack, length, needle, n);
    return static_cast<const char*>(hit);
}

#include "support/file_helpers.h"

#include <cstring>

#include "support/text_helpers.h"
#include "platform/file_system.h"
#include "platform/win32_error.h"
#include "platform/path_util.h"

namespace plat = tessaro::platform;

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// Length of a leading drive ("C:") in a client or template path.
std::size_t DriveLength(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
        return 2;
    }
    return 0;
}

std::size_t LastSeparator(const std::string& path) {
    return path.find_last_of("\\/");
}

}  // namespace

std::uint64_t GetFileSizeByName(const std::string& path) {
    // Only a file has a size here: a folder cannot be opened as a file on Windows either.
    return plat::ReadableFileSize(plat::ToUnixPath(path));
}

bool PathExists(const std::string& path) {
    std::string trimmed = TrimmedCopy(path);
    if (trimmed.empty()) return false;
    return plat::GetFileKind(plat::ToUnixPath(trimmed)) == plat::FileKind::Directory;
}

bool FileExists(const std::string& path) {
    if (path.empty()) return false;
    plat::FileKind kind = plat::GetFileKind(plat::ToUnixPath(path));
    return kind != plat::FileKind::Missing && kind != plat::FileKind::Directory;
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
        std::string part = name.substr(dot);  // with its dot
        if (part.size() >= 2) ext = part.substr(1);
    }
}

bool WriteFileContents(const void* data, std::size_t n, const std::string& path, bool keep) {
    return plat::WriteFileFromStart(plat::ToUnixPath(path), data, n, keep) == plat::ERROR_SUCCESS;
}

const char* FindBytes(const char* needle, const char* haystack, std::size_t length) {
    if (!needle || !haystack) return nullptr;
    std::size_t n = std::strlen(needle);
    if (n == 0) return haystack;
    if (n > length) return nullptr;
    const void* hit = ::memmem(haystack, length, needle, n);
    return static_cast<const char*>(hit);
}

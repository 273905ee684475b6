#include "platform/temp_file.h"
#include "platform/system_calls.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "platform/path_util.h"
#include "platform/shared_file.h"
#include "platform/win32_error.h"

namespace tessaro::platform {

std::string TempDirectory() {
    const char* env = std::getenv("TMPDIR");
    std::string dir = env && *env ? ToUnixPath(env) : std::string("/tmp");
    if (dir.back() != '/') dir += '/';
    return dir;
}

long MakeTempFileName(const std::string& dirIn, const std::string& prefix, std::string* path) {
    if (!path) return ERROR_INVALID_PARAMETER;
    path->clear();
    std::string dir = dirIn.empty() ? TempDirectory() : ToUnixPath(dirIn);
    if (dir.back() != '/') dir += '/';
    std::string head = prefix.substr(0, 3);
    for (char& c : head) {
        if (c == '/' || c == '\\') c = '_';
    }
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<unsigned> pick(1, 0xFFFF);
    unsigned start = pick(random);
    // Every one of the 65535 names is tried at most once before giving up.
    for (unsigned i = 0; i < 0xFFFF; ++i) {
        unsigned number = (start + i - 1) % 0xFFFF + 1;
        char name[16];
        std::snprintf(name, sizeof name, "%04X.TMP", number);
        std::string candidate = dir + head + name;
        int fd = OpenShared(candidate, O_WRONLY | O_CREAT | O_EXCL);
        if (fd >= 0) {
            SystemCalls().close(fd);
            *path = candidate;
            return ERROR_SUCCESS;
        }
        if (errno != EEXIST) return Win32LastErrno();
    }
    return ERROR_FILE_EXISTS;
}

long CreatePrivateTempFile(const std::string& dirIn, const std::string& prefix, std::string* path) {
    if (!path) return ERROR_INVALID_PARAMETER;
    path->clear();
    if (dirIn.empty()) return ERROR_PATH_NOT_FOUND;
    std::string dir = ToUnixPath(dirIn);
    if (dir.back() != '/') dir += '/';
    std::string head = prefix;
    for (char& c : head) {
        if (c == '/' || c == '\\') c = '_';
    }
    std::string pattern = dir + head + "XXXXXX";
    // mkstemp creates the name exclusively with mode 0600.
    const int fd = SystemCalls().mkstemp(pattern.data());
    if (fd < 0) return Win32LastErrno();
    SystemCalls().close(fd);
    *path = pattern;
    return ERROR_SUCCESS;
}

}  // namespace tessaro::platform

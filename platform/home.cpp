#include "platform/home.h"
#include "platform/system_calls.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <set>

#include "platform/path_util.h"
#include "platform/shared_file.h"
#include "platform/win32_error.h"

namespace tessaro::platform {

namespace {

std::string RootFromEnvironment() {
    const char* env = std::getenv("TESSARO_HOME");
    std::string root = env && *env ? ToUnixPath(env) : std::string(TESSARO_DEFAULT_HOME);
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    return root;
}

void PrepareRoot(const std::string& root) {
    static std::mutex mutex;
    static std::set<std::string> prepared;
    std::lock_guard<std::mutex> lock(mutex);
    if (prepared.count(root)) return;
    // Root makes nothing in a root that belongs to another account: what it made would be
    // root's, out of that account's reach.
    struct stat st;
    if (::geteuid() == 0 && SystemCalls().stat(root.c_str(), &st) == 0 && st.st_uid != 0) {
        prepared.insert(root);
        return;
    }
    // Failures are left to the callers, which report them when they open their files.
    EnsureDirectory(root);
    for (const char* sub : {"run", "run/EVENT", "run/MUTEX", "windows", "log", "tmp", "scm", "machines"}) {
        EnsureDirectory(root + "/" + sub);
    }
    prepared.insert(root);
}

}  // namespace

std::string RuntimeRootPath() {
    return RootFromEnvironment();
}

std::string TessaroHome() {
    std::string root = RootFromEnvironment();
    PrepareRoot(root);
    return root;
}

std::string HomePath(std::string_view relative) {
    std::string rel = ToUnixPath(relative);
    while (!rel.empty() && rel.front() == '/') rel.erase(0, 1);
    while (!rel.empty() && rel.back() == '/') rel.pop_back();
    std::string root = TessaroHome();
    return rel.empty() ? root : root + "/" + rel;
}

std::string WindowsDirectory() {
    return HomePath("windows");
}

std::string HomeTempDirectory() {
    return HomePath("tmp");
}

long EnsureDirectory(const std::string& input) {
    std::string path = ToUnixPath(input);
    if (path.empty()) return ERROR_PATH_NOT_FOUND;
    struct stat st;
    if (SystemCalls().stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS;
    for (std::size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != '/') continue;
        std::string prefix = path.substr(0, pos);
        if (SystemCalls().mkdir(prefix.c_str(), kSharedDirectoryMode) == 0) {
            SystemCalls().chmod(prefix.c_str(), kSharedDirectoryMode);  // whatever the umask
        } else if (errno != EEXIST) {
            return Win32LastErrno();
        }
    }
    if (SystemCalls().stat(path.c_str(), &st) != 0) return Win32LastErrno();
    return S_ISDIR(st.st_mode) ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS;
}

}  // namespace tessaro::platform

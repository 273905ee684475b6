#include "platform/program_path.h"
#include "platform/system_calls.h"

#include <unistd.h>

#include "platform/win32_error.h"

namespace tessaro::platform {

std::string ProgramPath(long* errorNumber) {
    char buf[4096];
    ssize_t n = SystemCalls().readlink("/proc/self/exe", buf, sizeof buf);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buf) {
        if (errorNumber) *errorNumber = n <= 0 ? Win32LastErrno() : ERROR_INSUFFICIENT_BUFFER;
        return {};
    }
    return std::string(buf, static_cast<std::size_t>(n));
}

std::string ProgramDirectory() {
    std::string path = ProgramPath();
    if (path.empty()) return "./";
    return path.substr(0, path.rfind('/') + 1);
}

}  // namespace tessaro::platform

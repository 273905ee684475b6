#include "platform/process_environment.h"

#include <signal.h>
#include <stdlib.h>

#include "platform/win32_error.h"

namespace tessaro::platform {

std::string EnvironmentValue(const std::string& name) {
    const char* value = getenv(name.c_str());
    return value ? std::string(value) : std::string();
}

long SetEnvironmentValue(const std::string& name, const std::string& value) {
    return setenv(name.c_str(), value.c_str(), 1) == 0 ? ERROR_SUCCESS : Win32LastErrno();
}

void IgnoreBrokenPipes() {
    ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace tessaro::platform

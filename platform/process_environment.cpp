#include "platform/process_environment.h"

#include <signal.h>
#include <stdlib.h>

#include "platform/win32_error.h"

namespace tessaro::platform {

long SetEnvironmentValue(const std::string& name, const std::string& value) {
    return setenv(name.c_str(), value.c_str(), 1) == 0 ? ERROR_SUCCESS : Win32LastErrno();
}

void IgnoreBrokenPipes() {
    ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace tessaro::platform

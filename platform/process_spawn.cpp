#include "platform/system_calls.h"
#include "platform/process_spawn.h"

#include <spawn.h>
#include <sys/wait.h>

#include "platform/win32_error.h"

extern char** environ;

namespace tessaro::platform {

long SpawnProgram(const std::string& program, const std::vector<std::string>& args, long* error) {
    std::vector<char*> argv;
    std::vector<std::string> copies = args.empty() ? std::vector<std::string>{program} : args;
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawnattr_t attributes;
    SystemCalls().posix_spawnattr_init(&attributes);
    SystemCalls().posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    SystemCalls().posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = 0;
    int rc = SystemCalls().posix_spawn(&pid, program.c_str(), nullptr, &attributes, argv.data(), environ);
    SystemCalls().posix_spawnattr_destroy(&attributes);
    if (rc != 0) {
        if (error) *error = Win32ErrorFromErrno(rc);
        return 0;
    }
    if (error) *error = 0;
    return static_cast<long>(pid);
}

bool ReapChild(long pid) {
    int status = 0;
    return pid > 0 && SystemCalls().waitpid(static_cast<pid_t>(pid), &status, WNOHANG) == static_cast<pid_t>(pid);
}

}  // namespace tessaro::platform

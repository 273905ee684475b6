#include "platform/child_program.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tessaro::platform {

long RunProgramAndWait(const std::vector<std::string>& argv, int timeoutSeconds) {
    if (argv.empty()) return 2;
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t child = -1;
    if (::posix_spawn(&child, args[0], nullptr, nullptr, args.data(), environ) != 0) return 2;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int status = 0;
    for (;;) {
        pid_t done = ::waitpid(child, &status, timeoutSeconds > 0 ? WNOHANG : 0);
        if (done == child) break;
        if (done < 0 && errno != EINTR) return 1;
        if (timeoutSeconds > 0 && std::chrono::steady_clock::now() >= deadline) {
            ::kill(child, SIGKILL);
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
            return 1460;
        }
        if (done == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // posix_spawn reports a missing program through the child's exit status 127.
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127) return 2;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}

bool DirectoryWritable(const std::string& path) {
    return ::access(path.c_str(), W_OK | X_OK) == 0;
}

unsigned long CurrentUserId() {
    return static_cast<unsigned long>(::getuid());
}

}  // namespace tessaro::platform

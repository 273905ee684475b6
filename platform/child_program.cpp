#include "platform/child_program.h"
#include "platform/system_calls.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
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
    if (SystemCalls().posix_spawn(&child, args[0], nullptr, nullptr, args.data(), environ) != 0) return 2;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int status = 0;
    for (;;) {
        pid_t done = SystemCalls().waitpid(child, &status, timeoutSeconds > 0 ? WNOHANG : 0);
        if (done == child) break;
        if (done < 0 && errno != EINTR) return 1;
        if (timeoutSeconds > 0 && std::chrono::steady_clock::now() >= deadline) {
            SystemCalls().kill(child, SIGKILL);
            RetryOnInterrupt([&] { return SystemCalls().waitpid(child, &status, 0); });
            return 1460;
        }
        if (done == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // posix_spawn reports a missing program through the child's exit status 127.
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127) return 2;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}

ProgramOutcome RunProgramForOutput(const std::vector<std::string>& argv, int timeoutSeconds,
                                   const std::vector<std::string>* environment) {
    ProgramOutcome outcome;
    if (argv.empty()) return outcome;
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> env;
    if (environment) {
        for (const std::string& e : *environment) env.push_back(const_cast<char*>(e.c_str()));
        env.push_back(nullptr);
    }
    int out[2];
    if (SystemCalls().pipe2(out, O_CLOEXEC) != 0) return outcome;
    posix_spawn_file_actions_t actions;
    SystemCalls().posix_spawn_file_actions_init(&actions);
    SystemCalls().posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    SystemCalls().posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    SystemCalls().posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    pid_t child = -1;
    int rc =
        SystemCalls().posix_spawn(&child, args[0], &actions, nullptr, args.data(), environment ? env.data() : environ);
    SystemCalls().posix_spawn_file_actions_destroy(&actions);
    SystemCalls().close(out[1]);
    if (rc != 0) {
        SystemCalls().close(out[0]);
        return outcome;
    }
    outcome.started = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    for (;;) {
        int wait = -1;
        if (timeoutSeconds > 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                outcome.timedOut = true;
                SystemCalls().kill(child, SIGKILL);
                break;
            }
            wait = static_cast<int>(left.count());
        }
        pollfd p{out[0], POLLIN, 0};
        int n = SystemCalls().poll(&p, 1, wait);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) continue;
        char buffer[4096];
        ssize_t got = SystemCalls().read(out[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;  // every writer has gone
        if (outcome.output.size() < 65536) outcome.output.append(buffer, static_cast<std::size_t>(got));
    }
    SystemCalls().close(out[0]);
    int status = 0;
    RetryOnInterrupt([&] { return SystemCalls().waitpid(child, &status, 0); });
    if (!outcome.timedOut && WIFEXITED(status)) outcome.exitStatus = WEXITSTATUS(status);
    if (!outcome.timedOut && WIFEXITED(status) && WEXITSTATUS(status) == 127 && outcome.output.empty())
        outcome.started = false;  // posix_spawn's way of saying the program is missing
    return outcome;
}

bool DirectoryWritable(const std::string& path) {
    return SystemCalls().access(path.c_str(), W_OK | X_OK) == 0;
}

unsigned long CurrentUserId() {
    return static_cast<unsigned long>(::getuid());
}

}  // namespace tessaro::platform

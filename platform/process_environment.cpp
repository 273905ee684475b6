#include "platform/process_environment.h"
#include "platform/system_calls.h"

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>

#include "platform/win32_error.h"

namespace tessaro::platform {

std::string EnvironmentValue(const std::string& name) {
    const char* value = getenv(name.c_str());
    return value ? std::string(value) : std::string();
}

long SetEnvironmentValue(const std::string& name, const std::string& value) {
    return SystemCalls().setenv(name.c_str(), value.c_str(), 1) == 0 ? ERROR_SUCCESS : Win32LastErrno();
}

void IgnoreBrokenPipes() {
    SystemCalls().signal(SIGPIPE, SIG_IGN);
}

namespace {

// Written only outside the handler; the flag goes up once the path is whole.
char g_removePath[4096];
volatile sig_atomic_t g_hasRemovePath = 0;

void EndOnSignal(int) {
    if (g_hasRemovePath) SystemCalls().unlink(g_removePath);
    ::_exit(0);
}

}  // namespace

void EndProcessOnLeaveSignals() {
    struct sigaction action {};
    action.sa_handler = EndOnSignal;
    sigemptyset(&action.sa_mask);
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGTERM, SIGHUP, SIGPIPE}) {
        SystemCalls().sigaction(signal, &action, nullptr);
        sigaddset(&set, signal);
    }
    SystemCalls().sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

void RemoveOnSignalEnd(const std::string& path) {
    g_hasRemovePath = 0;
    if (path.empty() || path.size() >= sizeof g_removePath) return;
    std::memcpy(g_removePath, path.c_str(), path.size() + 1);
    g_hasRemovePath = 1;
}

}  // namespace tessaro::platform

// tsscm: install, remove, start, stop and query services of the local service manager.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/error_words.h"
#include "platform/service_commands.h"
#include "platform/service_control.h"

using namespace tessaro::platform;

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: tsscm install NAME BINARY [--display TEXT] [--start-type N] [-- ARGS...]\n"
                 "       tsscm remove NAME\n"
                 "       tsscm start NAME [--wait SECONDS]\n"
                 "       tsscm stop NAME [--wait SECONDS]\n"
                 "       tsscm query NAME\n"
                 "       tsscm list | boot | shutdown\n");
    return 2;
}

int Report(const char* what, const std::string& name, long error = ScmGetLastError()) {
    std::fprintf(stderr, "tsscm: %s '%s' failed: error %s\n", what, name.c_str(), ErrorNumberWithWords(error).c_str());
    return 1;
}

double WaitOption(int argc, char** argv, int from) {
    for (int i = from; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--wait") == 0) {
            // Beyond a day the deadline would overflow the clock; NaN fails "> 0" and means no wait.
            double seconds = std::atof(argv[i + 1]);
            return seconds > 86400 ? 86400 : seconds;
        }
    return 0;
}

// Polls every 100 ms until the service reports the state; 1 with a message on time-out.
int Await(const std::string& name, std::uint32_t state, double seconds) {
    if (seconds > 0 && !WaitForServiceState(name, state, static_cast<std::uint32_t>(seconds * 1000), 100)) {
        std::fprintf(stderr, "tsscm: '%s' did not reach %s\n", name.c_str(), ServiceStateName(state));
        return 1;
    }
    return 0;
}

int Install(int argc, char** argv) {
    std::string name = argv[2], binary = argv[3], display = name;
    std::uint32_t startType = SERVICE_DEMAND_START;
    std::vector<std::string> args;
    for (int i = 4; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            for (++i; i < argc; ++i) args.push_back(argv[i]);
        } else if (std::strcmp(argv[i], "--display") == 0 && i + 1 < argc) {
            display = argv[++i];
        } else if (std::strcmp(argv[i], "--start-type") == 0 && i + 1 < argc) {
            startType = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else {
            return Usage();
        }
    }
    return InstallServiceProgram(name, display, startType, binary, args) ? 0 : Report("install", name);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    std::string cmd = argv[1];
    if (cmd == "install" && argc >= 4) return Install(argc, argv);
    if (cmd == "remove" && argc == 3) return RemoveServiceByName(argv[2]) ? 0 : Report("remove", argv[2]);
    if (cmd == "start" && argc >= 3) {
        if (!StartServiceByName(argv[2])) return Report("start", argv[2]);
        return Await(argv[2], SERVICE_RUNNING, WaitOption(argc, argv, 3));
    }
    if (cmd == "stop" && argc >= 3) {
        if (!ControlServiceByName(argv[2], SERVICE_CONTROL_STOP)) return Report("control", argv[2]);
        return Await(argv[2], SERVICE_STOPPED, WaitOption(argc, argv, 3));
    }
    if (cmd == "query" && argc == 3) {
        SERVICE_STATUS status;
        if (!QueryServiceByName(argv[2], status)) return Report("query", argv[2]);
        std::fputs(ServiceStatusText(argv[2], status).c_str(), stdout);
        return 0;
    }
    if (cmd == "list" && argc == 2) {
        for (const ListedService& s : ListServices())
            std::printf("%s\t%s\t%u\t%s\n", s.service.name.c_str(), s.state, s.service.startType,
                        s.service.binaryPath.c_str());
        return 0;
    }
    if (cmd == "boot" && argc == 2) {
        int rc = 0;
        for (const ServiceFailure& failure : StartAutomaticServices())
            rc = Report("start", failure.name, failure.error);
        return rc;
    }
    if (cmd == "shutdown" && argc == 2) {
        ShutdownAllServices();
        return 0;
    }
    return Usage();
}

// tsscm: install, remove, start, stop and query services of the local service manager.
#include "platform/service_manager.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/service_control.h"

using namespace tessaro::platform;

namespace {

const char* StateName(std::uint32_t state) {
    switch (state) {
        case SERVICE_STOPPED:
            return "STOPPED";
        case SERVICE_START_PENDING:
            return "START_PENDING";
        case SERVICE_STOP_PENDING:
            return "STOP_PENDING";
        case SERVICE_RUNNING:
            return "RUNNING";
        default:
            return "UNKNOWN";
    }
}

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

int Report(const char* what, const std::string& name) {
    std::fprintf(stderr, "tsscm: %s '%s' failed: error %ld\n", what, name.c_str(), ScmGetLastError());
    return 1;
}

struct Handles {
    SC_HANDLE manager = nullptr;
    SC_HANDLE service = nullptr;
    ~Handles() {
        if (service) CloseServiceHandle(service);
        if (manager) CloseServiceHandle(manager);
    }
};

bool Open(Handles& h, const std::string& name, std::uint32_t access) {
    h.manager = OpenSCManager(access);
    if (!h.manager) return false;
    h.service = OpenService(h.manager, name, access);
    return h.service != nullptr;
}

// Polls every 100 ms until the service reports the state; false on time-out.
bool WaitForState(const std::string& name, std::uint32_t state, double seconds) {
    return WaitForServiceState(name, state, static_cast<std::uint32_t>(seconds * 1000), 100);
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

int Query(const std::string& name) {
    Handles h;
    if (!Open(h, name, GENERIC_READ_ACCESS)) return Report("query", name);
    SERVICE_STATUS st;
    if (!QueryServiceStatus(h.service, &st)) return Report("query", name);
    std::printf("SERVICE_NAME: %s\n", name.c_str());
    std::printf("STATE: %u %s\n", st.dwCurrentState, StateName(st.dwCurrentState));
    std::printf("CHECKPOINT: %u\n", st.dwCheckPoint);
    std::printf("WAIT_HINT: %u\n", st.dwWaitHint);
    std::printf("WIN32_EXIT_CODE: %u\n", st.dwWin32ExitCode);
    std::printf("SERVICE_EXIT_CODE: %u\n", st.dwServiceSpecificExitCode);
    std::printf("CONTROLS_ACCEPTED: %u\n", st.dwControlsAccepted);
    return 0;
}

int StartOne(const std::string& name, double wait) {
    Handles h;
    if (!Open(h, name, GENERIC_EXECUTE_ACCESS) || !StartService(h.service)) return Report("start", name);
    if (wait > 0 && !WaitForState(name, SERVICE_RUNNING, wait)) {
        std::fprintf(stderr, "tsscm: '%s' did not reach RUNNING\n", name.c_str());
        return 1;
    }
    return 0;
}

int Control(const std::string& name, std::uint32_t code, double wait) {
    Handles h;
    SERVICE_STATUS st;
    if (!Open(h, name, GENERIC_EXECUTE_ACCESS) || !ControlService(h.service, code, &st)) return Report("control", name);
    if (wait > 0 && !WaitForState(name, SERVICE_STOPPED, wait)) {
        std::fprintf(stderr, "tsscm: '%s' did not reach STOPPED\n", name.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    std::string cmd = argv[1];
    if (cmd == "install" && argc >= 4) {
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
        SC_HANDLE m = OpenSCManager(SC_MANAGER_CREATE_SERVICE);
        if (!m) return Report("install", name);
        SC_HANDLE s = CreateService(m, name, display, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, startType,
                                    SERVICE_ERROR_NORMAL, binary, args);
        long err = ScmGetLastError();
        CloseServiceHandle(m);
        if (!s) {
            ScmSetLastError(err);
            return Report("install", name);
        }
        CloseServiceHandle(s);
        return 0;
    }
    if (cmd == "remove" && argc == 3) {
        Handles h;
        if (!Open(h, argv[2], SERVICE_ALL_ACCESS) || !DeleteService(h.service)) return Report("remove", argv[2]);
        return 0;
    }
    if (cmd == "start" && argc >= 3) return StartOne(argv[2], WaitOption(argc, argv, 3));
    if (cmd == "stop" && argc >= 3) return Control(argv[2], SERVICE_CONTROL_STOP, WaitOption(argc, argv, 3));
    if (cmd == "query" && argc == 3) return Query(argv[2]);
    if (cmd == "list" && argc == 2) {
        for (const auto& s : EnumInstalledServices()) {
            Handles h;
            SERVICE_STATUS st;
            const char* state = "UNKNOWN";
            if (Open(h, s.name, GENERIC_READ_ACCESS) && QueryServiceStatus(h.service, &st))
                state = StateName(st.dwCurrentState);
            std::printf("%s\t%s\t%u\t%s\n", s.name.c_str(), state, s.startType, s.binaryPath.c_str());
        }
        return 0;
    }
    if (cmd == "boot" && argc == 2) {
        int rc = 0;
        for (const auto& s : EnumInstalledServices()) {
            if (s.startType != SERVICE_AUTO_START) continue;
            Handles h;
            if (!Open(h, s.name, GENERIC_EXECUTE_ACCESS)) continue;
            if (!StartService(h.service) && ScmGetLastError() != kErrorServiceAlreadyRunning)
                rc = Report("start", s.name);
        }
        return rc;
    }
    if (cmd == "shutdown" && argc == 2) {
        for (const auto& s : EnumInstalledServices()) {
            Handles h;
            SERVICE_STATUS st;
            if (Open(h, s.name, GENERIC_EXECUTE_ACCESS)) ControlService(h.service, SERVICE_CONTROL_SHUTDOWN, &st);
        }
        return 0;
    }
    return Usage();
}

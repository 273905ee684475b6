#include "platform/scm_service_host.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace tessaro::platform {

namespace {

constexpr std::size_t kMaxName = 10000;
constexpr std::uint32_t kWaitHint = 10000;

struct HostState {
    std::mutex mutex;
    std::string name;
    CServiceBase* service = nullptr;
    SERVICE_STATUS_HANDLE statusHandle = nullptr;
    std::shared_ptr<ManualResetEvent> stopEvent;
    std::shared_ptr<ManualResetEvent> threadEvent;
    std::thread mainThread;
    std::atomic<bool> threadDone{false};
};

HostState& Host() {
    static HostState state;
    return state;
}

void LogError(const std::string& text, long number) {
    CServiceBase* s = Host().service;
    if (s && (!text.empty() || number != 0)) s->LogServerError(text, number);
}

// Stops the service: ends the main thread (waiting up to 10 s) and reports STOPPED.
void ServiceStop(const std::string& text, long number) {
    HostState& h = Host();
    LogError(text, number);
    std::shared_ptr<ManualResetEvent> threadEvent;
    {
        std::lock_guard lock(h.mutex);
        h.stopEvent.reset();
        threadEvent = std::move(h.threadEvent);
    }
    if (threadEvent) {
        if (h.mainThread.joinable()) {
            threadEvent->Set();
            // The thread is waited for 10 s; after that it is left to the process end.
            bool ended = false;
            for (int i = 0; i < 1000 && !(ended = h.threadDone.load()); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (ended)
                h.mainThread.join();
            else {
                LogError("Timed out while waiting for main thread to finish.", 0);
                h.mainThread.detach();
            }
        }
    }
    if (h.statusHandle) ReportServiceStatus(SERVICE_STOPPED, 0, 0, 0, 0);
}

void ServiceMain(std::uint32_t, char**) {
    HostState& h = Host();
    // The stop event exists before the handler can be called, so a stop during start-up is kept.
    auto stop = std::make_shared<ManualResetEvent>();
    {
        std::lock_guard lock(h.mutex);
        h.stopEvent = stop;
    }
    h.statusHandle = RegisterServiceCtrlHandler(h.name, ServiceControlHandler);
    if (!h.statusHandle) {
        ServiceStop("Error attempting to register service control handler.", ScmGetLastError());
        return;
    }
    if (!ReportServiceStatus(SERVICE_START_PENDING, 0, 0, 1, kWaitHint)) {
        ServiceStop("Error attempting to send status to SCM (SERVICE_START_PENDING 1).", ScmGetLastError());
        return;
    }
    if (!ReportServiceStatus(SERVICE_START_PENDING, 0, 0, 2, kWaitHint)) {
        ServiceStop("Error attempting to send status to SCM (SERVICE_START_PENDING 2).", ScmGetLastError());
        return;
    }
    // Start the service thread.
    long number = 0;
    std::string text;
    if (!h.service->Init(&number, text)) {
        if (text.size() > kMaxName) text.resize(kMaxName);
        LogError(text, 0);
        ServiceStop("Error attempting to start the service.", 0);
        return;
    }
    auto threadEvent = std::make_shared<ManualResetEvent>();
    {
        std::lock_guard lock(h.mutex);
        h.threadEvent = threadEvent;
    }
    ServiceThreadProc proc = h.service->GetThreadProc();
    try {
        h.mainThread = std::thread([proc, threadEvent] {
            proc(threadEvent.get());
            Host().threadDone = true;
        });
    } catch (const std::system_error& e) {
        ServiceStop("Error attempting to start the service.", e.code().value());
        return;
    }
    if (!ReportServiceStatus(SERVICE_RUNNING, 0, 0, 0, 0)) {
        ServiceStop("Error attempting to send status to SCM (SERVICE_RUNNING).", ScmGetLastError());
        return;
    }
    stop->Wait();
    ServiceStop(std::string(), 0);
}

}  // namespace

void ServiceControlHandler(std::uint32_t control) {
    HostState& h = Host();
    switch (control) {
        case SERVICE_CONTROL_STOP: {
            ReportServiceStatus(SERVICE_STOP_PENDING, 0, 0, 1, kWaitHint);
            RequestServiceStop();
            break;
        }
        case SERVICE_CONTROL_SHUTDOWN:
            if (h.service) h.service->OnShutdown();
            break;
        default:
            ReportServiceStatus(SERVICE_RUNNING, 0, 0, 0, 0);
            break;
    }
}

void RequestServiceStop() {
    std::shared_ptr<ManualResetEvent> stop;
    {
        std::lock_guard lock(Host().mutex);
        stop = Host().stopEvent;
    }
    if (stop) stop->Set();
}

bool ReportServiceStatus(std::uint32_t state, std::uint32_t exitCode, std::uint32_t specificCode,
                         std::uint32_t checkpoint, std::uint32_t waitHint) {
    HostState& h = Host();
    if (!h.statusHandle) return false;
    SERVICE_STATUS st;
    st.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    st.dwCurrentState = state;
    st.dwControlsAccepted = state == SERVICE_START_PENDING ? 0 : (SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN);
    st.dwWin32ExitCode = specificCode != 0 ? 1066 : exitCode;
    st.dwServiceSpecificExitCode = specificCode;
    st.dwCheckPoint = checkpoint;
    st.dwWaitHint = waitHint;
    return SetServiceStatus(h.statusHandle, st);
}

bool RunServiceDispatcher(const std::string& name, CServiceBase* service, long* errorNumber) {
    HostState& h = Host();
    h.name = name.size() > kMaxName ? name.substr(0, kMaxName) : name;
    h.service = service;
    if (StartServiceCtrlDispatcher({{h.name, ServiceMain}})) return true;
    long e = ScmGetLastError();
    if (e == 1) return true;
    if (errorNumber) *errorNumber = e;
    return false;
}

}  // namespace tessaro::platform

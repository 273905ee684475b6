// The service side of a program run by the service manager: the dispatcher,
// the service main with its status reports, the control handler and the stop.
// One service per process.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/scm_event.h"
#include "platform/service_manager.h"

namespace tessaro::platform {

// The thread a service runs; it ends when the termination event is set.
using ServiceThreadProc = std::function<unsigned(ManualResetEvent* terminationEvent)>;

class CServiceBase {
public:
    virtual ~CServiceBase() = default;
    virtual ServiceThreadProc GetThreadProc() = 0;
    // Server initialisation; false with a text on failure.
    virtual bool Init(long* errorNumber, std::string& errorText) = 0;
    // The system's shutdown notice.
    virtual void OnShutdown() {}
    // The program's error line: text plus " Windows NT error number %ld occurred."
    // when the number is not 0.
    virtual void LogServerError(const std::string& text, long errorNumber) = 0;
};

// Runs the service through the service manager; returns when it has stopped.
// True also when the dispatcher fails with error 1; else false with the number.
bool RunServiceDispatcher(const std::string& name, CServiceBase* service, long* errorNumber);

// Status report of the running service (state, exit code, specific code,
// checkpoint, wait hint). False when no status handle exists or writing fails.
bool ReportServiceStatus(std::uint32_t state, std::uint32_t exitCode, std::uint32_t specificCode,
                         std::uint32_t checkpoint, std::uint32_t waitHint);

// Asks the running service to stop through its one normal path (sets the stop
// event the service main waits on). For threads such as a failed listener.
void RequestServiceStop();

// For tests and tools: the control handler as the dispatcher calls it.
void ServiceControlHandler(std::uint32_t control);

}  // namespace tessaro::platform

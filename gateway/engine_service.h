#pragma once
// What KSML may do to the engine besides sending it requests: start its service, and end
// its process through the termination event. An interface so that the connection rules
// can be exercised against a stand-in.

#include <cstdint>

#include "gateway/error_page.h"
#include "interfaces/engine_names.h"
#include "gateway/gateway_settings.h"

namespace ksml {

using ::kEngineServiceName;
using ::kTerminationEventName;

class EngineService {
public:
    virtual ~EngineService() = default;
    // True once the service is running (it may have been running already).
    virtual bool StartServerService(ErrorReport& errors) = 0;
    virtual bool SetServerTerminationEvent(ErrorReport& errors) = 0;
};

// The engine installed with the system's service manager.
class ServiceManagerEngine final : public EngineService {
public:
    explicit ServiceManagerEngine(const GatewaySettings& settings) : settings_(settings) {}

    bool StartServerService(ErrorReport& errors) override;
    bool SetServerTerminationEvent(ErrorReport& errors) override;

    bool QueryServerServiceStatus(std::uint32_t& state, ErrorReport& errors);
    // Polls until RUNNING or the time is up; true when RUNNING was seen.
    bool WaitForServiceRunning(int milliseconds, ErrorReport& errors);

private:
    const GatewaySettings& settings_;
};

}  // namespace ksml

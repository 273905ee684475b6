// tsengine as a service: install, remove, and the service object over the engine.
#pragma once

#include "platform/scm_service_host.h"

class CEngine;

class CEngineService : public tessaro::platform::CServiceBase {
public:
    explicit CEngineService(CEngine& engine) : m_engine(engine) {}

    tessaro::platform::ServiceThreadProc GetThreadProc() override;
    bool Init(long* errorNumber, std::string& errorText) override;
    void OnShutdown() override {}
    void LogServerError(const std::string& text, long errorNumber) override;
    // Set when the mail spooler could not be built (the process then ends with 1).
    bool MailSpoolerFailed() const { return m_mailFailed; }

private:
    CEngine& m_engine;
    bool m_mailFailed = false;
};

void InstallEngineService();
void RemoveEngineService();
// -DEBUG and -DESKTOP ask the installed engine service to stop before the desktop engine
// starts (the result is not looked at).
void StopInstalledEngineService();

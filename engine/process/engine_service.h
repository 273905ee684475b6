// tsengine as a service: install, remove, and the service object.
#pragma once

#include "platform/scm_service_host.h"

class CEngineService : public tessaro::platform::CServiceBase {
public:
    tessaro::platform::ServiceThreadProc GetThreadProc() override;
    bool Init(long* errorNumber, std::string& errorText) override;
    void OnShutdown() override {}
    void LogServerError(const std::string& text, long errorNumber) override;
    // Set when the mail spooler could not be built (the process then ends with 1).
    bool MailSpoolerFailed() const { return m_mailFailed; }

private:
    bool m_mailFailed = false;
};

void InstallEngineService();
void RemoveEngineService();

// tsengine as a service: install, remove, and the service object over the engine.
#pragma once

#include "engine/server/engine_switches.h"
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

// -INSTALL: the account and group of the switches (see platform/service_install.h), then the
// service. Says on standard output what it did, and on standard error why it did not (the
// SERVER log gets the failure too). False when the service is not installed afterwards.
bool InstallEngineService(const EngineSwitches& switches);
// -REMOVE: stops the service, waits for it (bounded) and removes it; says what it did. False
// when it failed for another reason than the service being absent.
bool RemoveEngineService();
// -DEBUG and -DESKTOP: the installed engine service is asked to stop and waited for, so that
// the desktop engine does not start beside it. False (with the reason on standard error and in
// the SERVER log) when it is still running after the wait.
bool StopInstalledEngineService();

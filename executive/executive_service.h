// tsexec as a service: its command line, the service object and its main thread.
#pragma once

#include <memory>
#include <string>

#include <vector>

#include "platform/scm_service_host.h"
#include "platform/service_install.h"

class CRegistryKey;
class CRegistrySettings;

class CTSExecutiveService : public tessaro::platform::CServiceBase {
public:
    CTSExecutiveService();
    ~CTSExecutiveService() override;

    tessaro::platform::ServiceThreadProc GetThreadProc() override;
    // Opens the registry root; false with the reason when it cannot.
    bool Init(long* errorNumber, std::string& errorText) override;
    // The machine goes down: the engine must not be started again meanwhile.
    void OnShutdown() override;
    void LogServerError(const std::string& text, long errorNumber) override;

private:
    std::unique_ptr<CRegistryKey> m_root;
    std::unique_ptr<CRegistrySettings> m_settings;
};

// The purge and the watchdog on threads of their own until the event is set.
unsigned ExecutiveMainThread(tessaro::platform::ManualResetEvent* stopEvent);

// -INSTALL: like the engine's (platform/service_install.h): run by root, the service runs as
// the account named (or the system's own) and the runtime root becomes that account's; says
// what it did. -REMOVE stops and removes it.
void InstallExecutiveService(const tessaro::platform::ServiceInstallRequest& request);
void RemoveExecutiveService();
// The program's body for its arguments (after the program name): "-INSTALL" and "-REMOVE" in
// any case anywhere in them, "-ACCOUNT NAME" and "-WEBGROUP GROUP" with -INSTALL. Started by root
// as the service, it first becomes the account its runtime root belongs to (never root).
// Always 0.
int RunExecutive(const std::vector<std::string>& arguments);

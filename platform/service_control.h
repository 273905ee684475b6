// Installing, starting, stopping, querying and removing a service by name, for
// the programs that manage services (tsengine, tsexec, the gateway stub).
#pragma once

#include <cstdint>
#include <string>

#include "platform/service_manager.h"

namespace tessaro::platform {

class CServiceDescription {
public:
    // Name only: enough to stop, remove or query.
    explicit CServiceDescription(const std::string& name);
    CServiceDescription(const std::string& name, const std::string& displayName, const std::string& binaryPath,
                        std::uint32_t startType, std::uint32_t serviceType, std::uint32_t desiredAccess,
                        std::uint32_t errorControl);

    // The account the service runs as (empty: the installer's).
    void SetAccount(const std::string& account) { m_account = account; }
    const std::string& GetAccount() const { return m_account; }

    const std::string& GetName() const { return m_name; }
    const std::string& GetDisplayName() const { return m_displayName; }
    const std::string& GetBinaryPath() const { return m_binaryPath; }
    std::uint32_t GetDesiredAccess() const { return m_desiredAccess; }
    std::uint32_t GetServiceType() const { return m_serviceType; }
    std::uint32_t GetStartType() const { return m_startType; }
    std::uint32_t GetErrorControl() const { return m_errorControl; }

    // Texts are held to this many characters.
    static constexpr std::size_t kMaxText = 10000;

private:
    std::string m_name, m_displayName, m_binaryPath, m_account;
    std::uint32_t m_desiredAccess = 0;
    std::uint32_t m_serviceType = 0;
    std::uint32_t m_startType = 0;
    std::uint32_t m_errorControl = 0;
};

class CServiceControl {
public:
    explicit CServiceControl(const CServiceDescription& description) : m_description(description) {}

    bool InstallService();
    bool QueryStatus(SERVICE_STATUS& status);
    // Asks for STOPPED (1) or RUNNING (4); does not wait for the state.
    bool SetServiceState(std::uint32_t target);
    bool StopService() { return SetServiceState(SERVICE_STOPPED); }
    bool StartService() { return SetServiceState(SERVICE_RUNNING); }
    // Marks the service for removal (no start takes it up from then on), asks a running one
    // to stop, and removes it once it has stopped (at once when it was not running).
    bool RemoveService();

    long GetLastErrorNumber() const { return m_lastError; }

private:
    bool Failed();

    const CServiceDescription& m_description;
    long m_lastError = 0;
};

// Polls the service every pollMs until it reports the state; false on time-out.
bool WaitForServiceState(const std::string& name, std::uint32_t state, std::uint32_t timeoutMs,
                         std::uint32_t pollMs = 500);

}  // namespace tessaro::platform

// The CLIENT scope of one request: the disabled store until client management is
// switched on, then the registry store of the request's client.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/server/client_variable_store.h"

class CClientIdSource;
class CRegistryKey;

class CClientScope {
public:
    // Opens (creating when missing) the Clients key with its LastID value; throws
    // CRegistryException*. idLock is the engine's lock of new client ids.
    CClientScope(CClientIdSource& idSource, tessaro::platform::TimedMutex& idLock);
    ~CClientScope();
    CClientScope(const CClientScope&) = delete;
    CClientScope& operator=(const CClientScope&) = delete;

    // On: opens the request's client the first time (later calls reuse it) and
    // makes its store current; off: the disabled store.
    void EnableClientManagement(bool on);

    bool IsEnabled() { return m_current->IsEnabled(); }
    void GetVariableNames(std::vector<std::string>& names) { m_current->GetVariableNames(names); }
    bool Exists(const std::string& name) { return m_current->Exists(name); }
    bool IsReserved(const std::string& name) { return m_current->IsReserved(name); }
    std::string Get(const std::string& name) { return m_current->Get(name); }
    void Set(const std::string& name, const std::string& value) { m_current->Set(name, value); }
    void Delete(const std::string& name) { m_current->Delete(name); }

private:
    CClientIdSource& m_idSource;
    tessaro::platform::TimedMutex& m_idLock;
    std::unique_ptr<CRegistryKey> m_clientsKey;
    CDisabledClientStore m_disabledStore;
    std::unique_ptr<CRegistryClientStore> m_registryStore;
    CClientVariableStore* m_current;
};

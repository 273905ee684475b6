// The stores behind the CLIENT scope: one that refuses everything while client
// management is off, and the registry store of one identified client.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/timed_lock.h"

class CClientIdSource;
class CRegistryKey;

class CClientVariableStore {
public:
    virtual ~CClientVariableStore() = default;
    virtual bool IsEnabled() = 0;
    virtual void GetVariableNames(std::vector<std::string>& names) = 0;
    virtual bool Exists(const std::string& name) = 0;
    virtual bool IsReserved(const std::string& name) = 0;
    virtual std::string Get(const std::string& name) = 0;
    virtual void Set(const std::string& name, const std::string& value) = 0;
    virtual void Delete(const std::string& name) = 0;
};

// In force until TSAPPLICATION switches client management on: every access
// throws CWebException*, except IsEnabled and Exists, which answer false.
class CDisabledClientStore : public CClientVariableStore {
public:
    bool IsEnabled() override { return false; }
    void GetVariableNames(std::vector<std::string>& names) override;
    bool Exists(const std::string&) override { return false; }
    bool IsReserved(const std::string& name) override;
    std::string Get(const std::string& name) override;
    void Set(const std::string& name, const std::string& value) override;
    void Delete(const std::string& name) override;
};

// The client of this request below Clients\<id>. Construction identifies the
// client from TSID/TSTOKEN (URL parameters before cookies), makes a new client
// when they are missing or do not match, records the visit (LASTVISIT, HITCOUNT,
// TIMECREATED on the first) and sets the TSID and TSTOKEN cookies.
class CRegistryClientStore : public CClientVariableStore {
public:
    // clientsKey is the open Clients key; it must outlive the store, as must idLock, the
    // engine's lock of new client ids.
    CRegistryClientStore(CClientIdSource& idSource, const CRegistryKey& clientsKey,
                         tessaro::platform::TimedMutex& idLock);
    ~CRegistryClientStore() override;

    bool IsEnabled() override { return true; }
    void GetVariableNames(std::vector<std::string>& names) override;
    bool Exists(const std::string& name) override;
    bool IsReserved(const std::string& name) override;
    std::string Get(const std::string& name) override;
    void Set(const std::string& name, const std::string& value) override;
    void Delete(const std::string& name) override;

    const std::string& GetId() const { return m_id; }
    const std::string& GetToken() const { return m_token; }

private:
    bool IsValidClient(const CRegistryKey& clientsKey) const;
    void RecordVisit();

    CClientIdSource& m_idSource;
    std::unique_ptr<CRegistryKey> m_key;
    std::string m_id;
    std::string m_token;
    std::string m_now;
    std::string m_lastVisit;
};

// TSID, TSTOKEN, HITCOUNT, TIMECREATED, LASTVISIT, URLTOKEN in any case.
bool IsReservedClientName(const std::string& name);

// The local time as "{ts 'YYYY-MM-DD HH:MM:SS'}".
std::string ClientTimeStamp();

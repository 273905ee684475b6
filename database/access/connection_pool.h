// The engine's pool of ODBC connections, keyed by data-source login (the engine owns one,
// the report server its own).
// Requests take connections through their CRequestDataSources and give them back at the
// end of the request; idle connections stay open for the next request with the same login.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <list>
#include <string>

#include "database/access/data_source_login.h"
#include "database/access/pooled_connection.h"
#include "database/odbc/odbc_env.h"
#include "platform/timed_lock.h"

class CRegistrySettings;

inline constexpr std::uint32_t kPoolLockTimeoutMs = 15000;

class ConnectionPool {
public:
    // settings (not owned) answers the registry questions; it may be null (defaults).
    // Throws CWebODBCException "Failed to establish ODBC environment.".
    explicit ConnectionPool(CRegistrySettings* settings, std::uint32_t lockTimeoutMs = kPoolLockTimeoutMs);
    // Deletes the idle entries; entries still held by a request are left alone.
    virtual ~ConnectionPool();
    ConnectionPool(const ConnectionPool&) = delete;
    ConnectionPool& operator=(const ConnectionPool&) = delete;

    // The oldest idle entry with an equal login, now in use, or a new unconnected entry.
    PooledConnection* GetConnection(const CDataSourceLogin& key);
    // GetConnection, connected and with the trace setting applied. An entry that cannot be
    // connected leaves the pool before the error is thrown on.
    PooledConnection* GetOpenConnection(const CDataSourceLogin& key);
    // Null when the entry stays pooled (idle); otherwise the entry, now out of the pool, which
    // the caller deletes. Entries go when close is set, when DataSources\<name>\MaintainConnect
    // is 0, or when they could not be made clean for the next request.
    PooledConnection* ReleaseConnection(PooledConnection* entry, bool close);
    long GetMaintainConnect(const std::string& dataSource);

    odbcENV& GetEnvironment() { return m_environment; }
    CRegistrySettings* GetSettings() const { return m_settings; }

    // What the pool holds, for diagnostics and tests.
    struct Statistics {
        std::size_t entries = 0;
        std::size_t idle = 0;
        // Physical connects made since the pool was built.
        unsigned long connects = 0;
    };
    Statistics GetStatistics();

protected:
    tessaro::platform::TimedMutex m_mutex;

private:
    // With Server\TraceODBC on, a line in the ODBC trace log for each connection opened or
    // closed, with the pool's size, so that reuse can be seen from outside the engine.
    void TracePoolChange(const char* change, const std::string& dataSource);
    // Takes an entry out of the list (under the lock) and deletes it.
    void Discard(PooledConnection* entry);

    odbcENV m_environment;
    CRegistrySettings* m_settings;
    std::uint32_t m_lockTimeoutMs;
    std::list<PooledConnection*> m_connections;
    std::atomic<unsigned long> m_connects{0};
};

#include "database/access/connection_pool.h"

#include <memory>

#include "database/access/odbc_error_page.h"
#include "database/odbc/odbc_connect.h"
#include "support/registry.h"
#include "support/trace_log.h"
#include "support/web_exception.h"

namespace {

constexpr const char* kLockTimedOut = "The mutex was not signaled within the expected time period.";
// Longer names and passwords cannot come from a real login; they are refused before the driver.
constexpr std::size_t kMaxLoginText = 1024;

bool UsableLoginText(const std::string& text) {
    return text.size() <= kMaxLoginText && text.find('\0') == std::string::npos;
}

}  // namespace

ConnectionPool::ConnectionPool(CRegistrySettings* settings, std::uint32_t lockTimeoutMs)
    : m_settings(settings), m_lockTimeoutMs(lockTimeoutMs) {
    InstallEngineErrorPolicy(m_environment);
    if (!m_environment.sqlsuccess() || m_environment.GetHenv() == SQL_NULL_HENV)
        throw new CWebODBCException("Failed to establish ODBC environment.", "");
}

ConnectionPool::~ConnectionPool() {
    tessaro::platform::TimedLockGuard<tessaro::platform::TimedMutex> lock(m_mutex, m_lockTimeoutMs);
    if (!lock.Held()) return;
    for (PooledConnection* entry : m_connections) {
        if (!entry->InUse()) delete entry;
    }
    m_connections.clear();
}

PooledConnection* ConnectionPool::GetConnection(const CDataSourceLogin& key) {
    if (!UsableLoginText(key.dataSource) || !UsableLoginText(key.user) || !UsableLoginText(key.password))
        throw new CWebException("Error attempting to retrieve connection for data source.",
                                "The data source name, user name or password is too long or contains a NUL character.");
    tessaro::platform::TimedLockGuard<tessaro::platform::TimedMutex> lock(m_mutex, m_lockTimeoutMs);
    if (!lock.Held())
        throw new CWebException("Error attempting to retrieve connection for data source.", kLockTimedOut, "");
    for (PooledConnection* entry : m_connections) {
        if (!entry->InUse() && SameDataSourceLogin(entry->GetKey(), key)) {
            entry->MarkInUse();
            return entry;
        }
    }
    auto entry = std::make_unique<PooledConnection>(&m_environment, m_settings, key);
    m_connections.push_back(entry.get());
    return entry.release();
}

PooledConnection* ConnectionPool::GetOpenConnection(const CDataSourceLogin& key) {
    PooledConnection* entry = GetConnection(key);
    try {
        if (!entry->IsConnected()) {
            entry->Connect();
            ++m_connects;
            TracePoolChange("Opened", key.dataSource);
        }
        entry->SetTrace();
    } catch (...) {
        // No request records an entry it did not get: it would stay in use for ever.
        Discard(entry);
        throw;
    }
    return entry;
}

PooledConnection* ConnectionPool::ReleaseConnection(PooledConnection* entry, bool close) {
    if (!entry) return nullptr;
    // Cleaning up talks to the driver; the entry is still this caller's alone, so it runs
    // outside the lock.
    bool keep = !close && GetMaintainConnect(entry->GetKey().dataSource) != 0 && entry->Reset();
    tessaro::platform::TimedLockGuard<tessaro::platform::TimedMutex> lock(m_mutex, m_lockTimeoutMs);
    if (!lock.Held()) throw new CWebException("Error attempting to release connection.", kLockTimedOut, "");
    if (keep) {
        entry->MarkIdle();
        return nullptr;
    }
    m_connections.remove(entry);
    lock.Release();
    if (entry->GetConnect()) TracePoolChange("Closing", entry->GetKey().dataSource);
    return entry;
}

long ConnectionPool::GetMaintainConnect(const std::string& dataSource) {
    if (!m_settings) return 1;
    return m_settings->GetNumber("DataSources\\" + dataSource, "MaintainConnect", 1);
}

ConnectionPool::Statistics ConnectionPool::GetStatistics() {
    Statistics statistics;
    statistics.connects = m_connects.load();
    tessaro::platform::TimedLockGuard<tessaro::platform::TimedMutex> lock(m_mutex, m_lockTimeoutMs);
    if (!lock.Held()) return statistics;
    statistics.entries = m_connections.size();
    for (PooledConnection* entry : m_connections)
        if (!entry->InUse()) ++statistics.idle;
    return statistics;
}

void ConnectionPool::TracePoolChange(const char* change, const std::string& dataSource) {
    if (!m_settings || m_settings->GetNumber("Server", "TraceODBC", 0) == 0) return;
    Statistics statistics = GetStatistics();
    WriteTraceLog("ODBC", "Information",
                  std::string(change) + " a connection to data source '" + dataSource + "': the pool holds " +
                      std::to_string(statistics.entries) + " connections, " + std::to_string(statistics.connects) +
                      " opened since start-up.");
}

void ConnectionPool::Discard(PooledConnection* entry) {
    {
        tessaro::platform::TimedLockGuard<tessaro::platform::TimedMutex> lock(m_mutex, m_lockTimeoutMs);
        // Without the lock the list cannot be changed, so the entry cannot be freed either.
        if (!lock.Held()) return;
        m_connections.remove(entry);
    }
    delete entry;
}

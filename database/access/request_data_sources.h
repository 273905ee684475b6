// The connections one request has taken from the pool, one per data-source login, and the
// operations the template tags run on them: cursors and statements, transactions, isolation
// levels, identifier conventions and the per-data-source SQL authorisation.
//
// The authorisation (AllowAllSQL, DISABLE_INSERT, DISABLE_UPDATE) is asked for by the insert
// and update tags only; SQL text that a query tag runs is not restricted by it.
#pragma once

#include <string>
#include <vector>

#include "database/access/data_source_login.h"

class CRegistrySettings;
class ConnectionPool;
class PooledConnection;
class odbcCONNECT;
class odbcCURSOR;
class odbcSTMT;

// ODBC isolation bits by their TSTRANSACTION names: "READ_UNCOMMITTED" 1, "READ_COMMITTED" 2,
// "REPEATABLE_READ" 4, "SERIALIZABLE" 8, "VERSIONING" 16. Names match without regard to case;
// 0 for any other text.
unsigned long IsolationLevelFromName(const std::string& name);
// The name of one of the five values; "" for any other value.
std::string IsolationLevelName(unsigned long level);

class CRequestDataSources {
public:
    // settings (not owned) answers the registry questions and may be null (defaults); the
    // connections come from pool (not owned; null: none, every use fails).
    CRequestDataSources(CRegistrySettings* settings, ConnectionPool* pool);
    // Connections still held are closed, not pooled.
    virtual ~CRequestDataSources();
    CRequestDataSources(const CRequestDataSources&) = delete;
    CRequestDataSources& operator=(const CRequestDataSources&) = delete;

    // The request's connection for the login, taken from the pool (and connected) on first use.
    PooledConnection* GetPooledConnection(const CDataSourceLogin& login);
    // New objects with the engine's error policy; the pooled connection owns and frees them
    // when the connections are released. Callers Close them but never delete them.
    odbcCURSOR* AllocCursor(const CDataSourceLogin& login);
    odbcSTMT* AllocStmt(const CDataSourceLogin& login);
    odbcCONNECT* GetConnect(const CDataSourceLogin& login);
    // Gives every connection back to the pool (closing them when close is set) and empties
    // the set. Every connection is handed back even when one release fails; the first
    // failure is thrown afterwards.
    void ReleaseConnections(bool close);
    std::size_t ConnectionCount() const { return m_connections.size(); }

    // Throws CWebException "SQL operation unauthorized." when DataSources\<name>\AllowAllSQL
    // is 0 and DISABLE_<operation> is non-zero.
    void CheckSQLAuthorization(const std::string& operation, const std::string& dataSource);

    bool SupportsTransactions(const CDataSourceLogin& login);
    void BeginTransaction(const CDataSourceLogin& login);
    void CommitTransaction(const CDataSourceLogin& login);
    void RollbackTransaction(const CDataSourceLogin& login);
    // An empty name changes nothing; an unknown name, or a level the data source does not
    // offer, throws CWebException.
    void SetIsolationLevel(const CDataSourceLogin& login, const std::string& name);
    void ApplyIsolationLevel(const CDataSourceLogin& login, unsigned long level);
    void RestoreDefaultIsolation(const CDataSourceLogin& login);
    unsigned long GetDefaultIsolation(const CDataSourceLogin& login);

    std::string GetIdentifierQuoteChar(const CDataSourceLogin& login);
    std::string GetQualifierSeparator(const CDataSourceLogin& login);
    // SQL_QL_START (1) or SQL_QL_END (2); 1 when the driver cannot say.
    unsigned long GetQualifierLocation(const CDataSourceLogin& login);

    // Debug\WriteSQLInfo (default 1): whether SQL text and data-source names may be shown.
    long WriteSQLInfo() const;

private:
    CRegistrySettings* m_settings;
    ConnectionPool* m_pool;
    std::vector<PooledConnection*> m_connections;
};

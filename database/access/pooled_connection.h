// One pooled ODBC connection with the cursors and statements its current holder allocated.
// Only the holding request touches it; the pool's lock guards its in-use flag.
#pragma once

#include <string>
#include <vector>

#include "database/access/data_source_login.h"

class CRegistrySettings;
class odbcCONNECT;
class odbcCURSOR;
class odbcENV;
class odbcSTMT;

class PooledConnection {
public:
    // Copies the key; no connection yet; born in use. Neither pointer is owned.
    PooledConnection(odbcENV* environment, CRegistrySettings* settings, const CDataSourceLogin& key);
    // Frees the cursors and statements, then disconnects.
    virtual ~PooledConnection();
    PooledConnection(const PooledConnection&) = delete;
    PooledConnection& operator=(const PooledConnection&) = delete;

    // Connects (again) with the key, or with the stored login when the user name is empty.
    // Failures throw CWebODBCException; an earlier connection object is freed first.
    odbcCONNECT* Connect();
    // Applies Server\TraceODBC to the connection.
    void SetTrace();

    const CDataSourceLogin& GetKey() const { return m_key; }
    odbcCONNECT* GetConnect() const { return m_connect; }
    bool IsConnected() const;

    // New objects with the engine's error policy, owned by this entry until Reset.
    odbcCURSOR* AllocCursor();
    odbcSTMT* AllocStmt();
    std::size_t CursorCount() const { return m_cursors.size(); }
    std::size_t StatementCount() const { return m_statements.size(); }

    // Makes the entry fit for the next request: cancels and frees every cursor and statement,
    // rolls back a transaction left open and puts back autocommit and the default isolation.
    // False when that failed or the connection is known to be broken: the entry must go.
    bool Reset();
    // Cancels and deletes every cursor, then every statement.
    void FreeStatements();

    // The holder changed the isolation level; Reset restores the default.
    void NoteIsolationChanged() { m_isolationChanged = true; }
    void NoteIsolationRestored() { m_isolationChanged = false; }
    // The connection must not be pooled again (its driver reported a broken link).
    void MarkBroken() { m_broken = true; }

    // Guarded by the pool's lock.
    void MarkInUse() { m_inUse = 1; }
    void MarkIdle() { m_inUse = 0; }
    bool InUse() const { return m_inUse != 0; }

private:
    void NoteBrokenLink();
    bool EndOpenTransaction();

    odbcENV* m_environment;
    CRegistrySettings* m_settings;
    CDataSourceLogin m_key;
    odbcCONNECT* m_connect = nullptr;
    std::vector<odbcCURSOR*> m_cursors;
    std::vector<odbcSTMT*> m_statements;
    int m_inUse = 1;
    bool m_isolationChanged = false;
    bool m_broken = false;
};

// SQLSTATEs that say the link to the server is gone (08xxx, HYT01, server shutdown).
bool IsConnectionLostState(const std::string& sqlState);

// The trace file named by a LogFilePath value: that folder, a backslash, "ODBC.LOG".
std::string ODBCTraceFileName(const std::string& logFilePath);
// Where the trace is written on disk; a missing or empty LogFilePath gives the Windows
// directory rather than the root of the file system.
std::string ODBCTraceDiskPath(const std::string& logFilePath, bool missing);

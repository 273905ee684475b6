// TSTRANSACTION: the statements between the begin and end tags are one database
// transaction. The tag only opens a window; the transaction starts on the data
// source of the first statement sent inside it, every later statement of the
// window must use the same login, and the end tag commits. Any failure, and a
// window left open, rolls back.
#pragma once

#include <memory>
#include <string>

#include "database/access/data_source_login.h"

// The transaction work on the request's connections.
class CTransactionHost {
public:
    virtual ~CTransactionHost() = default;
    virtual bool SupportsTransactions(const CDataSourceLogin& login) = 0;
    virtual void BeginTransaction(const CDataSourceLogin& login) = 0;
    virtual void SetIsolationLevel(const CDataSourceLogin& login, const std::string& isolation) = 0;
    virtual void CommitTransaction(const CDataSourceLogin& login) = 0;
    virtual void RollbackTransaction(const CDataSourceLogin& login) = 0;
};

class CTransactionTag {
public:
    explicit CTransactionTag(CTransactionHost& host) : m_host(host) {}
    virtual ~CTransactionTag() = default;

    void Begin();
    void SetIsolation(const std::string& isolation) { m_isolation = isolation; }
    // Before a TSQUERY, TSINSERT or TSUPDATE sends its statement.
    void UseDataSource(const CDataSourceLogin& login);
    void End();
    // On every error path of the page: true when a running transaction was rolled back.
    bool RollbackIfOpen();
    // Once the template has run to its end: a window with statements still open is an error.
    void CheckTerminated();

    bool IsOpen() const { return m_open; }
    bool IsRunning() const { return m_login != nullptr; }

private:
    void Close();

    CTransactionHost& m_host;
    std::string m_isolation;
    bool m_open = false;
    std::unique_ptr<CDataSourceLogin> m_login;
};

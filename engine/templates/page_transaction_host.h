// What TSTRANSACTION needs of the page: the request's connections.
#pragma once

#include "engine/templates/core/transaction_window.h"

class CQueryPage;

class CPageTransactionHost : public CTransactionHost {
public:
    explicit CPageTransactionHost(CQueryPage& page) : m_page(page) {}

    bool SupportsTransactions(const CDataSourceLogin& login) override;
    void BeginTransaction(const CDataSourceLogin& login) override;
    void SetIsolationLevel(const CDataSourceLogin& login, const std::string& isolation) override;
    void CommitTransaction(const CDataSourceLogin& login) override;
    void RollbackTransaction(const CDataSourceLogin& login) override;

private:
    CQueryPage& m_page;
};

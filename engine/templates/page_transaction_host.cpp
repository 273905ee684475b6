#include "engine/templates/page_transaction_host.h"

#include "engine/templates/pages/pooled_data_sources.h"
#include "engine/templates/template_page.h"

bool CPageTransactionHost::SupportsTransactions(const CDataSourceLogin& login) {
    return RequestDataSourcesOf(m_page).SupportsTransactions(login);
}

void CPageTransactionHost::BeginTransaction(const CDataSourceLogin& login) {
    RequestDataSourcesOf(m_page).BeginTransaction(login);
}

void CPageTransactionHost::SetIsolationLevel(const CDataSourceLogin& login, const std::string& isolation) {
    RequestDataSourcesOf(m_page).SetIsolationLevel(login, isolation);
}

void CPageTransactionHost::CommitTransaction(const CDataSourceLogin& login) {
    RequestDataSourcesOf(m_page).CommitTransaction(login);
}

void CPageTransactionHost::RollbackTransaction(const CDataSourceLogin& login) {
    RequestDataSourcesOf(m_page).RollbackTransaction(login);
}

#include "engine/templates/core/transaction_window.h"

#include "support/web_exception.h"

void CTransactionTag::Begin() {
    if (m_open)
        throw new CWebException(
            "Invalid use of TSTRANSACTION tag",
            "You have used a TSTRANSACTION tag within the scope of another TSTRANSACTION tag (nesting of "
            "TSTRANSACTION tags is not permitted).<P> This error very likely results from the unintentional omission "
            "of the end tag (/TSTRANSACTION) for your first TSTRANSACTION.");
    m_open = true;
}

void CTransactionTag::UseDataSource(const CDataSourceLogin& login) {
    if (!m_open) return;
    if (m_login == nullptr) {
        if (!m_host.SupportsTransactions(login))
            throw new CWebException("Transactions not supported by driver",
                                    CWebMessage("The driver for the data source '") + login.dataSource +
                                        "' does not support database transactions. The use of the TSTRANSACTION tag "
                                        "is therefore not permitted with this data source.");
        m_host.BeginTransaction(login);
        m_login = std::make_unique<CDataSourceLogin>(login);
        // A level the driver does not offer fails here, before the statement runs
        // at some other level; the error path rolls the begun transaction back.
        m_host.SetIsolationLevel(login, m_isolation);
        return;
    }
    // The same rule that picks the request's connection: a statement accepted here
    // runs on the transaction's connection.
    if (SameDataSourceLogin(*m_login, login)) return;
    throw new CWebException(
        "More than one data source used in a TSTRANSACTION",
        CWebMessage(
            "The use of multiple ODBC data sources (or multiple username/password attributes for a single data source) "
            "within a TSTRANSACTION is not permitted. You have attempted to submit an SQL statement to the data source "
            "'") +
            login.dataSource + "' while you have a transaction open for the data source '" + m_login->dataSource +
            "'.");
}

void CTransactionTag::Close() {
    m_login.reset();
    // An ISOLATION belongs to its own window, even one that sent nothing.
    m_isolation.clear();
    m_open = false;
}

void CTransactionTag::End() {
    if (!m_open)
        throw new CWebException("Invalid end transaction tag (/TSTRANSACTION) encountered",
                                "Your template contains an end transaction tag which does not correspond to a begin "
                                "transaction tag. The end transaction tag (/TSTRANSACTION) should only be used after "
                                "the transaction tag (TSTRANSACTION) has been used.");
    if (m_login == nullptr) {
        Close();
        return;
    }
    CDataSourceLogin login = *m_login;
    try {
        m_host.CommitTransaction(login);
    } catch (...) {
        // A commit that fails leaves the work undone, not half done; the commit's
        // error is the one reported.
        try {
            RollbackIfOpen();
        } catch (CException* rollbackError) {
            rollbackError->Delete();
        }
        Close();
        throw;
    }
    Close();
}

bool CTransactionTag::RollbackIfOpen() {
    if (!m_open || m_login == nullptr) {
        Close();
        return false;
    }
    CDataSourceLogin login = *m_login;
    Close();
    m_host.RollbackTransaction(login);
    return true;
}

void CTransactionTag::CheckTerminated() {
    if (!m_open || m_login == nullptr) {
        Close();
        return;
    }
    RollbackIfOpen();
    throw new CWebException("Transaction tag not terminated properly",
                            "You included a TSTRANSACTION tag in your template file which was not terminated by a "
                            "corresponding /TSTRANSACTION tag. You must terminate the transaction tag in order to have "
                            "your changes committed to the database.");
}

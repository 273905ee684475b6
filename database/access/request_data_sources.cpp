#include "database/access/request_data_sources.h"

#include "database/access/connection_pool.h"
#include "database/odbc/odbc_connect.h"
#include "support/registry.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"

namespace {

struct IsolationName {
    const char* name;
    unsigned long level;
};

const IsolationName kIsolationNames[] = {
    {"READ_UNCOMMITTED", SQL_TXN_READ_UNCOMMITTED},
    {"READ_COMMITTED", SQL_TXN_READ_COMMITTED},
    {"REPEATABLE_READ", SQL_TXN_REPEATABLE_READ},
    {"SERIALIZABLE", SQL_TXN_SERIALIZABLE},
    {"VERSIONING", 16},  // SQL_TXN_VERSIONING, dropped from the ODBC 3 headers
};

std::string DataSourceSection(const std::string& dataSource) {
    return "DataSources\\" + dataSource;
}

// A 32-bit SQLGetInfo answer; preset when the driver writes less or fails.
SQLRETURN GetInfoValue(odbcCONNECT* connect, SQLUSMALLINT infoType, SQLUINTEGER& value) {
    return SQLGetInfo(connect->GetHdbc(), infoType, &value, sizeof value, nullptr);
}

// A text SQLGetInfo answer read into a buffer of the given size.
std::string GetInfoText(odbcCONNECT* connect, unsigned short infoType, short size) {
    std::vector<char> buffer(static_cast<std::size_t>(size), '\0');
    short length = 0;
    connect->GetInfoString(infoType, buffer.data(), size, &length);
    buffer.back() = '\0';
    return buffer.data();
}

}  // namespace

unsigned long IsolationLevelFromName(const std::string& name) {
    std::string upper = UpperCopy(name);
    for (const IsolationName& row : kIsolationNames)
        if (upper == row.name) return row.level;
    return 0;
}

std::string IsolationLevelName(unsigned long level) {
    for (const IsolationName& row : kIsolationNames)
        if (level == row.level) return row.name;
    return std::string();
}

CRequestDataSources::CRequestDataSources(CRegistrySettings* settings, ConnectionPool* pool)
    : m_settings(settings), m_pool(pool) {}

CRequestDataSources::~CRequestDataSources() {
    if (m_connections.empty()) return;
    try {
        ReleaseConnections(true);
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
}

PooledConnection* CRequestDataSources::GetPooledConnection(const CDataSourceLogin& login) {
    for (PooledConnection* entry : m_connections)
        if (SameDataSourceLogin(entry->GetKey(), login)) return entry;
    ConnectionPool* pool = m_pool;
    if (!pool)
        throw new CWebException("Error attempting to retrieve connection for data source.",
                                "The connection pool has not been created.");
    m_connections.reserve(m_connections.size() + 1);
    PooledConnection* entry = pool->GetOpenConnection(login);
    m_connections.push_back(entry);
    return entry;
}

odbcCURSOR* CRequestDataSources::AllocCursor(const CDataSourceLogin& login) {
    return GetPooledConnection(login)->AllocCursor();
}

odbcSTMT* CRequestDataSources::AllocStmt(const CDataSourceLogin& login) {
    return GetPooledConnection(login)->AllocStmt();
}

odbcCONNECT* CRequestDataSources::GetConnect(const CDataSourceLogin& login) {
    return GetPooledConnection(login)->GetConnect();
}

void CRequestDataSources::ReleaseConnections(bool close) {
    std::vector<PooledConnection*> entries;
    entries.swap(m_connections);
    ConnectionPool* pool = m_pool;
    CException* first = nullptr;
    for (PooledConnection* entry : entries) {
        try {
            if (pool) {
                delete pool->ReleaseConnection(entry, close);
            }
        } catch (CException* e) {
            if (first)
                e->Delete();
            else
                first = e;
        }
    }
    if (first) throw first;
}

void CRequestDataSources::CheckSQLAuthorization(const std::string& operation, const std::string& dataSource) {
    if (!m_settings) return;
    std::string section = DataSourceSection(dataSource);
    if (m_settings->GetNumber(section, "AllowAllSQL", 1) != 0) return;
    if (m_settings->GetNumber(section, UpperCopy("DISABLE_" + operation), 0) == 0) return;
    throw new CWebException("SQL operation unauthorized.",
                            CWebMessage("The SQL operation ") + operation + " is unauthorized for the data source '" +
                                dataSource +
                                "'. To change SQL authorizations for data sources you should use the Tessaro "
                                "Administrator application. Here they are the values AllowAllSQL and DISABLE_" +
                                UpperCopy(operation) + " of the key DataSources\\" + dataSource +
                                ", set with tsreg (see README.md, section \"Administering the server\").",
                            "");
}

bool CRequestDataSources::SupportsTransactions(const CDataSourceLogin& login) {
    SQLUINTEGER capable = 0;
    if (GetInfoValue(GetConnect(login), SQL_TXN_CAPABLE, capable) == SQL_ERROR) return false;
    return capable != SQL_TC_NONE;
}

void CRequestDataSources::BeginTransaction(const CDataSourceLogin& login) {
    GetConnect(login)->SetConnectOption(SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF);
}

void CRequestDataSources::CommitTransaction(const CDataSourceLogin& login) {
    odbcCONNECT* connect = GetConnect(login);
    connect->Commit();
    connect->SetConnectOption(SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_ON);
    RestoreDefaultIsolation(login);
}

void CRequestDataSources::RollbackTransaction(const CDataSourceLogin& login) {
    odbcCONNECT* connect = GetConnect(login);
    connect->RollBack();
    connect->SetConnectOption(SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_ON);
    RestoreDefaultIsolation(login);
}

void CRequestDataSources::SetIsolationLevel(const CDataSourceLogin& login, const std::string& name) {
    std::string trimmed = TrimmedCopy(name);
    if (trimmed.empty()) return;
    unsigned long level = IsolationLevelFromName(trimmed);
    if (level == 0)
        throw new CWebException("ISOLATION specified for TSTRANSACTION not recognized.",
                                CWebMessage("The isolation level specified for your transaction (") + trimmed +
                                    ") is not known. The isolation levels are READ_UNCOMMITTED, READ_COMMITTED, "
                                    "REPEATABLE_READ, SERIALIZABLE and VERSIONING.",
                                "");
    ApplyIsolationLevel(login, level);
}

void CRequestDataSources::ApplyIsolationLevel(const CDataSourceLogin& login, unsigned long level) {
    PooledConnection* entry = GetPooledConnection(login);
    odbcCONNECT* connect = entry->GetConnect();
    unsigned long offered = connect->GetInfoUDWord(SQL_TXN_ISOLATION_OPTION);
    if ((offered & level) == 0)
        throw new CWebException(
            "ISOLATION specified for TSTRANSACTION not supported by data source.",
            CWebMessage("The isolation level specified for your transaction (") + IsolationLevelName(level) +
                ") is not supported by the ODBC data source which you are accessing. Please consult your "
                "driver's documentation to determine what isolation levels are supported.",
            "");
    entry->NoteIsolationChanged();
    connect->SetConnectOption(SQL_TXN_ISOLATION, level);
}

unsigned long CRequestDataSources::GetDefaultIsolation(const CDataSourceLogin& login) {
    SQLUINTEGER level = 0;
    if (GetInfoValue(GetConnect(login), SQL_DEFAULT_TXN_ISOLATION, level) == SQL_ERROR) return 0;
    return level;
}

void CRequestDataSources::RestoreDefaultIsolation(const CDataSourceLogin& login) {
    unsigned long level = GetDefaultIsolation(login);
    if (level == 0) return;
    ApplyIsolationLevel(login, level);
    GetPooledConnection(login)->NoteIsolationRestored();
}

std::string CRequestDataSources::GetIdentifierQuoteChar(const CDataSourceLogin& login) {
    return GetInfoText(GetConnect(login), SQL_IDENTIFIER_QUOTE_CHAR, 10);
}

std::string CRequestDataSources::GetQualifierSeparator(const CDataSourceLogin& login) {
    return GetInfoText(GetConnect(login), SQL_QUALIFIER_NAME_SEPARATOR, 255);
}

unsigned long CRequestDataSources::GetQualifierLocation(const CDataSourceLogin& login) {
    SQLUINTEGER location = 5000;
    if (GetInfoValue(GetConnect(login), SQL_QUALIFIER_LOCATION, location) == SQL_ERROR) return SQL_QL_START;
    return location;
}

long CRequestDataSources::WriteSQLInfo() const {
    return m_settings ? m_settings->GetNumber("Debug", "WriteSQLInfo", 1) : 1;
}

#include "engine/templates/tags/query/query_results.h"

#include <chrono>
#include <cstdio>

#include "database/access/odbc_error_page.h"
#include "support/html_escape.h"
#include "support/server_settings.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"

namespace {

// Piece size for reading a value; long values take several pieces.
constexpr SQLLEN kPieceSize = 8192;

bool Succeeded(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

bool IsTimeType(short type) {
    return type == SQL_TIME || type == SQL_TIMESTAMP || type == SQL_TYPE_TIME || type == SQL_TYPE_TIMESTAMP;
}

// One value as text, read in pieces so nothing is cut; false for NULL.
bool ReadValue(SQLHSTMT statement, SQLUSMALLINT column, std::string& value) {
    value.clear();
    char piece[kPieceSize];
    for (;;) {
        SQLLEN indicator = 0;
        SQLRETURN rc = SQLGetData(statement, column, SQL_C_CHAR, piece, sizeof piece, &indicator);
        if (rc == SQL_NO_DATA) return true;
        if (!Succeeded(rc)) ThrowStatementError(statement);
        if (indicator == SQL_NULL_DATA) return false;
        // A piece holds at most its size less the terminating NUL.
        SQLLEN got = (indicator == SQL_NO_TOTAL || indicator >= kPieceSize) ? kPieceSize - 1 : indicator;
        value.append(piece, static_cast<std::size_t>(got));
        if (rc == SQL_SUCCESS) return true;
    }
}

}  // namespace

void ThrowStatementError(SQLHSTMT statement) {
    SQLCHAR state[6] = "HY000";
    SQLINTEGER native = 0;
    SQLCHAR message[1024] = "";
    SQLSMALLINT length = 0;
    if (!Succeeded(SQLGetDiagRec(SQL_HANDLE_STMT, statement, 1, state, &native, message, sizeof message, &length)))
        message[0] = '\0';
    std::string sqlState(reinterpret_cast<char*>(state));
    std::string text(reinterpret_cast<char*>(message));
    throw new CWebODBCException(ODBCErrorTitle(sqlState), ODBCErrorDetail(sqlState, text));
}

void CTSXQueryImp::SetName(const std::string& name) {
    std::string upper = UpperCopy(name);
    for (const char* scope : {"HTTP", "CGI", "FORM", "URL", "VARIABLES", "FILE", "COOKIE", "CLIENT"})
        if (upper == scope)
            throw new CWebException("Invalid TSQUERY name",
                                    "The query name '" + HtmlEscape(name) +
                                        "' is not valid because it conflicts with an existing variable context. "
                                        "Please use a different name for your query.");
    m_name = upper;
}

void CTSXQueryImp::ValidateQuery() const {
    if (TrimmedCopy(m_sql).empty())
        throw new CWebException("SQL attribute of TSQUERY tag not specified.",
                                "You must specify the SQL you want to submit to the ODBC data source. For example, to "
                                "submit the SQL \"SELECT * FROM AUTHORS\" you would use the syntax SQL=\"SELECT * FROM "
                                "AUTHORS\".");
    if (m_dataSource.empty())
        throw new CWebException("DataSource attribute of TSQUERY tag not specified.",
                                "You must specify an ODBC data source for the TSQUERY to draw its data from. For "
                                "example, to use the ODBC data source named \"Publications\" you would use the syntax "
                                "DataSource=\"Publications\".");
}

void CTSXQueryImp::CheckSqlOperation(CServerSettings* settings) const {
    if (settings == nullptr) return;
    const std::string section = "DataSources\\" + m_dataSource;
    if (settings->GetNumber(section, "AllowAllSQL", 1) != 0) return;
    const std::string statement = UpperCopy(RemoveWhitespace(m_sql));
    std::string operation;
    for (const char* word : {"SELECT", "INSERT", "UPDATE", "DELETE", "{CALL"})
        if (statement.rfind(word, 0) == 0) {
            operation = word;
            break;
        }
    if (operation.empty())
        throw new CWebException("SQL operation unrecognized",
                                "The SQL operation you specified is unrecognized (only SELECT, INSERT, UPDATE, "
                                "DELETE, and CALL are supported). <P>SQL = '" +
                                    HtmlEscape(m_sql) + "'");
    if (settings->GetNumber(section, "DISABLE_" + operation, 0) != 0)
        throw new CWebException("SQL operation unauthorized.",
                                "The SQL operation " + operation + " is unauthorized for the data source '" +
                                    HtmlEscape(m_dataSource) +
                                    "'. To change SQL authorizations for data sources you should use the Tessaro "
                                    "Administrator application. Here they are the values AllowAllSQL and DISABLE_" +
                                    operation + " of the key DataSources\\" + HtmlEscape(m_dataSource) +
                                    ", set with tsreg (see README.md, section \"Administering the server\").");
}

void CTSXQueryImp::PrepareExecution(CServerSettings* settings) {
    TrimString(m_sql);
    CheckSqlOperation(settings);
}

void CTSXQueryImp::AddSqlToError(CWebException* error) const {
    if (m_showSql && error != nullptr) error->AppendDetail("SQL = \"" + HtmlEscape(m_sql) + "\"");
}

void CTSXQueryImp::ExecuteOnStatement(SQLHSTMT statement, const std::function<void()>& checkTime) {
    auto start = std::chrono::steady_clock::now();
    try {
        if (m_timeout != -1) {
            SQLRETURN rc = SQLSetStmtAttr(statement, SQL_ATTR_QUERY_TIMEOUT,
                                          reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(m_timeout)), 0);
            if (!Succeeded(rc))
                throw new CWebException("TIMEOUT attribute not supported by data source.",
                                        "The SQL_QUERY_TIMEOUT statement option is not supported by the ODBC data "
                                        "source '" +
                                            HtmlEscape(m_dataSource) +
                                            "'. Therefore, the TIMEOUT attribute may not be specified for queries "
                                            "which use that data source.");
        }
        SQLRETURN rc = SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(const_cast<char*>(m_sql.c_str())),
                                     static_cast<SQLINTEGER>(m_sql.size()));
        if (!Succeeded(rc) && rc != SQL_NO_DATA) ThrowStatementError(statement);
        ReadResult(statement, checkTime);
        SQLCloseCursor(statement);
    } catch (CWebException* e) {
        SQLFreeStmt(statement, SQL_CLOSE);
        AddSqlToError(e);
        throw;
    }
    m_executed = true;
    m_elapsedMs = static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

void CTSXQueryImp::ReadResult(SQLHSTMT statement, const std::function<void()>& checkTime) {
    SQLSMALLINT count = 0;
    if (!Succeeded(SQLNumResultCols(statement, &count))) ThrowStatementError(statement);
    m_columns.clear();
    m_columnMap.clear();
    m_rows.clear();
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
        SQLCHAR name[256] = "";
        SQLSMALLINT nameLength = 0, type = 0, scale = 0, nullable = 0;
        SQLULEN size = 0;
        if (!Succeeded(SQLDescribeCol(statement, i, name, sizeof name, &nameLength, &type, &size, &scale, &nullable)))
            ThrowStatementError(statement);
        CQueryColumn column{UpperCopy(reinterpret_cast<char*>(name)), type};
        m_columnMap[column.name] = static_cast<int>(i) - 1;
        m_columns.push_back(std::move(column));
    }
    if (count <= 0) return;
    for (;;) {
        if (m_maxRows != -1 && static_cast<long long>(m_rows.size()) >= m_maxRows) break;
        SQLRETURN rc = SQLFetch(statement);
        if (rc == SQL_NO_DATA) break;
        if (!Succeeded(rc)) ThrowStatementError(statement);
        if (checkTime) checkTime();
        std::vector<std::string> row(static_cast<std::size_t>(count));
        for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
            std::string& value = row[i - 1];
            if (!ReadValue(statement, i, value)) continue;
            if (IsTimeType(m_columns[i - 1].sqlType)) {
                std::size_t dot = value.rfind('.');
                if (dot != std::string::npos) value.resize(dot);
            }
        }
        m_rows.push_back(std::move(row));
    }
}

int CTSXQueryImp::GetColumnIndex(const std::string& name) const {
    std::string upper = UpperCopy(name);
    if (!upper.empty() && (upper[0] == 'R' || upper[0] == 'C')) {
        if (upper == "RECORDCOUNT") return kColumnRecordCount;
        if (upper == "RETURNVALUE") return kColumnReturnValue;
        if (upper == "CURRENTROW") return kColumnCurrentRow;
    }
    auto it = m_columnMap.find(upper);
    return it == m_columnMap.end() ? kColumnUnknown : it->second;
}

std::string CTSXQueryImp::GetColumnValue(int row, int column) const {
    switch (column) {
        case kColumnReturnValue:
            return std::to_string(m_returnValue);
        case kColumnRecordCount:
            return std::to_string(m_rows.size());
        case kColumnCurrentRow:
            return std::to_string(static_cast<long long>(row) + 1);
        default:
            break;
    }
    if (row < 0 || column < 0 || static_cast<std::size_t>(row) >= m_rows.size()) return {};
    const std::vector<std::string>& cells = m_rows[static_cast<std::size_t>(row)];
    return static_cast<std::size_t>(column) < cells.size() ? cells[static_cast<std::size_t>(column)] : std::string();
}

const char* CTSXQueryImp::CellText(int row, int column) const {
    if (row < 0 || column < 0 || static_cast<std::size_t>(row) >= m_rows.size()) return "";
    const std::vector<std::string>& cells = m_rows[static_cast<std::size_t>(row)];
    return static_cast<std::size_t>(column) < cells.size() ? cells[static_cast<std::size_t>(column)].c_str() : "";
}

void CTSXQueryImp::AddColumn(const std::string& name, short sqlType) {
    CQueryColumn column{UpperCopy(name), sqlType};
    m_columnMap[column.name] = static_cast<int>(m_columns.size());
    m_columns.push_back(std::move(column));
}

void CTSXQueryImp::AddRow(std::vector<std::string> row) {
    row.resize(m_columns.size());
    m_rows.push_back(std::move(row));
}

std::string CTSXQueryImp::DebugLine() const {
    std::string sql = m_sql;
    ReplaceString(sql, "\n\n", "\n");
    TrimString(sql);
    // The statement carries values from the request; the block is HTML.
    return "\n<B>" + HtmlEscape(m_name) + "</B> (Records=" + std::to_string(m_rows.size()) +
           ", Time=" + std::to_string(m_elapsedMs) + "ms)\nSQL = \n" + HtmlEscape(sql) + "\n";
}

CTSXQueryImp* CNamedQueries::Find(const std::string& name) const {
    auto it = m_queries.find(UpperCopy(name));
    return it == m_queries.end() ? nullptr : it->second.query.get();
}

const std::string* CNamedQueries::OriginOf(const std::string& name) const {
    auto it = m_queries.find(UpperCopy(name));
    return it == m_queries.end() ? nullptr : &it->second.origin;
}

void CNamedQueries::Enter(std::unique_ptr<CTSXQueryImp> query, const std::string& origin) {
    Entry& entry = m_queries[query->GetName()];
    if (entry.query) m_replaced.push_back(std::move(entry.query));
    entry.query = std::move(query);
    entry.origin = origin;
}

void CNamedQueries::Clear() {
    m_queries.clear();
    m_replaced.clear();
}

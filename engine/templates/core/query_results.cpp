#include "engine/templates/core/query_results.h"

#include <chrono>
#include <cstdio>

#include "database/access/odbc_error_page.h"
#include "database/odbc/odbc_cursor.h"
#include "support/html_escape.h"
#include "support/server_settings.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"

namespace {

bool IsTimeType(short type) {
    return type == SQL_TIME || type == SQL_TIMESTAMP || type == SQL_TYPE_TIME || type == SQL_TYPE_TIMESTAMP;
}

// The cursor's reporting is off for calls whose failure is not an ODBC error to show: an
// option the driver refuses, a close while an error unwinds.
class QuietCalls {
public:
    explicit QuietCalls(odbcCURSOR& cursor) : m_cursor(cursor), m_report(cursor.AutoReport(0)) {}
    ~QuietCalls() { m_cursor.AutoReport(m_report); }
    QuietCalls(const QuietCalls&) = delete;
    QuietCalls& operator=(const QuietCalls&) = delete;

private:
    odbcCURSOR& m_cursor;
    short m_report;
};

}  // namespace

void CTSXQueryImp::SetName(const std::string& name) {
    std::string upper = UpperCopy(name);
    for (const char* scope : {"HTTP", "CGI", "FORM", "URL", "VARIABLES", "FILE", "COOKIE", "CLIENT"})
        if (upper == scope)
            throw new CWebException("Invalid TSQUERY name",
                                    CWebMessage("The query name '") + name +
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
        throw new CWebException(
            "SQL operation unrecognized",
            CWebMessage("The SQL operation you specified is unrecognized (only SELECT, INSERT, UPDATE, "
                        "DELETE, and CALL are supported). <P>SQL = '") +
                m_sql + "'");
    if (settings->GetNumber(section, "DISABLE_" + operation, 0) != 0)
        throw new CWebException("SQL operation unauthorized.",
                                CWebMessage("The SQL operation ") + operation +
                                    " is unauthorized for the data source '" + m_dataSource +
                                    "'. To change SQL authorizations for data sources you should use the Tessaro "
                                    "Administrator application. Here they are the values AllowAllSQL and DISABLE_" +
                                    operation + " of the key DataSources\\" + m_dataSource +
                                    ", set with tsreg (see README.md, section \"Administering the server\").");
}

void CTSXQueryImp::PrepareExecution(CServerSettings* settings) {
    TrimString(m_sql);
    CheckSqlOperation(settings);
}

void CTSXQueryImp::AddSqlToError(CWebException* error) const {
    if (m_showSql && error != nullptr) error->AppendDetail(CWebMessage("SQL = \"") + m_sql + "\"");
}

void CTSXQueryImp::ExecuteOnCursor(odbcCURSOR& cursor, const std::function<void()>& checkTime) {
    auto start = std::chrono::steady_clock::now();
    struct CloseCursor {
        odbcCURSOR& cursor;
        ~CloseCursor() {
            // A cursor whose call failed keeps its diagnostics: they tell the pool at release
            // whether the connection is still fit, and the pool frees the cursor then.
            if (!cursor.sqlsuccess() && !cursor.NoDataFound()) return;
            // The error handler throws; a failed close must not escape a destructor, least of
            // all while an error unwinds.
            QuietCalls quiet(cursor);
            cursor.Close();
        }
    };
    InstallEngineErrorPolicy(cursor);
    try {
        CloseCursor close{cursor};
        if (m_timeout != -1) {
            bool accepted = false;
            {
                QuietCalls quiet(cursor);
                cursor.SetStmtOption(SQL_QUERY_TIMEOUT, static_cast<SQLULEN>(m_timeout));
                accepted = cursor.sqlsuccess() != 0;
            }
            if (!accepted)
                throw new CWebException(
                    "TIMEOUT attribute not supported by data source.",
                    CWebMessage("The SQL_QUERY_TIMEOUT statement option is not supported by the ODBC data "
                                "source '") +
                        m_dataSource +
                        "'. Therefore, the TIMEOUT attribute may not be specified for queries "
                        "which use that data source.");
        }
        cursor.ExecDirect(reinterpret_cast<const unsigned char*>(m_sql.c_str()), static_cast<SQLINTEGER>(m_sql.size()));
        ReadResult(cursor, checkTime);
    } catch (CWebException* e) {
        AddSqlToError(e);
        throw;
    }
    m_executed = true;
    m_elapsedMs = static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

void CTSXQueryImp::ReadResult(odbcCURSOR& cursor, const std::function<void()>& checkTime) {
    SQLSMALLINT count = 0;
    cursor.NumResultCols(&count);
    m_columns.clear();
    m_columnMap.clear();
    m_rows.clear();
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
        char name[256] = "";
        SQLSMALLINT nameLength = 0, type = 0, scale = 0, nullable = 0;
        SQLULEN size = 0;
        cursor.DescribeCol(i, name, sizeof name, &nameLength, &type, &size, &scale, &nullable);
        CQueryColumn column{UpperCopy(name), type};
        m_columnMap[column.name] = static_cast<int>(i) - 1;
        m_columns.push_back(std::move(column));
    }
    if (count <= 0) return;
    for (;;) {
        if (m_maxRows != -1 && static_cast<long long>(m_rows.size()) >= m_maxRows) break;
        if (cursor.Fetch() == SQL_NO_DATA_FOUND) break;
        if (checkTime) checkTime();
        std::vector<std::string> row(static_cast<std::size_t>(count));
        for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
            std::string& value = row[i - 1];
            bool isNull = false;
            cursor.GetDataAsText(i, &value, &isNull);
            if (isNull) continue;
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

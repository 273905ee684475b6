#include "engine/templates/core/query_results.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>

#include "database/access/odbc_error_page.h"
#include "database/odbc/odbc_cursor.h"
#include "engine/server/request_budget.h"
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

// The value of column icol of the current row, whole, in pieces; false (the text cut) when it
// would pass room bytes. *isNull tells a NULL. An ODBC failure throws through the cursor's
// error policy.
bool ReadValue(odbcCURSOR& cursor, SQLUSMALLINT icol, std::string& text, bool& isNull, std::size_t room) {
    text.clear();
    isNull = false;
    char piece[ODBC_TEXT_PIECE];
    for (;;) {
        SQLLEN indicator = 0;
        cursor.GetData(icol, SQL_C_CHAR, piece, sizeof piece, &indicator);
        // The value was read to its end by the pieces before.
        if (cursor.lastRC() == SQL_NO_DATA_FOUND) {
            cursor.SignalRC(SQL_SUCCESS);
            return true;
        }
        if (!cursor.sqlsuccess()) return true;
        if (indicator == SQL_NULL_DATA) {
            isNull = true;
            return true;
        }
        // A piece holds at most its size less the terminating NUL; a driver that cannot tell
        // the length left (SQL_NO_TOTAL) has filled the piece up to its terminator.
        const std::size_t got = indicator >= 0
                                    ? static_cast<std::size_t>(std::min<SQLLEN>(indicator, sizeof piece - 1))
                                    : strnlen(piece, sizeof piece - 1);
        if (got > room - std::min(room, text.size())) return false;
        text.append(piece, got);
        if (cursor.lastRC() == SQL_SUCCESS) return true;
    }
}

}  // namespace

CTSXQueryImp::DrawnBytes& CTSXQueryImp::DrawnBytes::operator=(DrawnBytes&& other) noexcept {
    if (this != &other) {
        if (budget != nullptr) budget->ReturnResultBytes(drawn);
        budget = other.budget;
        drawn = other.drawn;
        other.drawn = 0;
    }
    return *this;
}

CTSXQueryImp::DrawnBytes::~DrawnBytes() {
    if (budget != nullptr) budget->ReturnResultBytes(drawn);
}

void CTSXQueryImp::Draw(std::size_t bytes) {
    if (m_bytes.budget == nullptr) return;
    m_bytes.budget->DrawResultBytes(bytes);
    m_bytes.drawn += bytes;
}

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
    CRequestBudget* budget = m_bytes.budget;
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
        // The statement's own work (a recursive query that runs for minutes) cannot look at
        // the clock: a stop of the budget cancels it, and the run fails at once.
        {
            std::optional<CRequestBudget::CancelScope> cancel;
            if (budget != nullptr) cancel.emplace(*budget, [&cursor] { cursor.CancelRunning(); });
            cursor.ExecDirect(reinterpret_cast<const unsigned char*>(m_sql.c_str()),
                              static_cast<SQLINTEGER>(m_sql.size()));
        }
        ReadResult(cursor, checkTime);
    } catch (CWebException* e) {
        // A statement the budget's stop interrupted fails with the stop's reason.
        if (budget != nullptr && budget->StoppedBy() != RequestStop::None) {
            e->Delete();
            throw budget->StopError();
        }
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
    m_cells.Reset(count > 0 ? static_cast<std::size_t>(count) : 0);
    if (m_bytes.budget != nullptr) m_bytes.budget->ReturnResultBytes(m_bytes.drawn);
    m_bytes.drawn = 0;
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
    std::vector<std::string> row(static_cast<std::size_t>(count));
    for (;;) {
        if (m_maxRows != -1 && static_cast<long long>(m_cells.Rows()) >= m_maxRows) break;
        // A driver may do the statement's work as it fetches (SQLite's step by step).
        short fetched;
        {
            std::optional<CRequestBudget::CancelScope> cancel;
            if (m_bytes.budget != nullptr) cancel.emplace(*m_bytes.budget, [&cursor] { cursor.CancelRunning(); });
            fetched = cursor.Fetch();
        }
        if (fetched == SQL_NO_DATA_FOUND) break;
        if (checkTime) checkTime();
        // The row is read whole within what the budget has left, then counted and kept.
        const CRequestBudget* budget = m_bytes.budget;
        std::size_t room = budget == nullptr ? std::numeric_limits<std::size_t>::max()
                                             : budget->ResultByteLimit() - budget->ResultBytes();
        std::size_t cost = 0;
        for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
            std::string& value = row[i - 1];
            bool isNull = false;
            // A value longer than what the budget has left is not read on.
            if (!ReadValue(cursor, i, value, isNull, room - std::min(room, cost))) budget->RefuseResultBytes();
            if (!isNull && IsTimeType(m_columns[i - 1].sqlType)) {
                std::size_t dot = value.rfind('.');
                if (dot != std::string::npos) value.resize(dot);
            }
            cost += CQueryCells::CostOf(value);
        }
        Draw(cost);
        const std::size_t at = m_cells.Rows();
        m_cells.AddRow();
        for (std::size_t i = 0; i < row.size(); ++i) m_cells.Set(at, i, row[i]);
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
            return std::to_string(m_cells.Rows());
        case kColumnCurrentRow:
            return std::to_string(static_cast<long long>(row) + 1);
        default:
            break;
    }
    if (row < 0 || column < 0) return {};
    return std::string(m_cells.Get(static_cast<std::size_t>(row), static_cast<std::size_t>(column)));
}

const char* CTSXQueryImp::CellText(int row, int column) const {
    if (row < 0 || column < 0) return "";
    return m_cells.Get(static_cast<std::size_t>(row), static_cast<std::size_t>(column)).data();
}

void CTSXQueryImp::AddColumn(const std::string& name, short sqlType) {
    CQueryColumn column{UpperCopy(name), sqlType};
    m_columnMap[column.name] = static_cast<int>(m_columns.size());
    m_columns.push_back(std::move(column));
    // The rows so far get the new column, empty.
    CQueryCells widened;
    widened.Reset(m_columns.size());
    for (std::size_t row = 0; row < m_cells.Rows(); ++row) {
        widened.AddRow();
        for (std::size_t i = 0; i < m_cells.Columns(); ++i) widened.Set(row, i, m_cells.Get(row, i));
    }
    if (m_cells.Rows() > 0) Draw(m_cells.Rows() * CQueryCells::CostOf({}));
    m_cells = std::move(widened);
}

void CTSXQueryImp::AddRow(const std::vector<std::string>& row) {
    std::size_t cost = 0;
    for (std::size_t i = 0; i < m_columns.size(); ++i) cost += CQueryCells::CostOf(i < row.size() ? row[i] : "");
    Draw(cost);
    const std::size_t at = m_cells.Rows();
    m_cells.AddRow();
    for (std::size_t i = 0; i < m_columns.size() && i < row.size(); ++i) m_cells.Set(at, i, row[i]);
}

void CTSXQueryImp::SetCell(int row, int column, const std::string& value) {
    if (row < 0 || column < 0) return;
    Draw(value.size() + 1);
    m_cells.Set(static_cast<std::size_t>(row), static_cast<std::size_t>(column), value);
}

std::string CTSXQueryImp::DebugLine() const {
    std::string sql = m_sql;
    ReplaceString(sql, "\n\n", "\n");
    TrimString(sql);
    // The statement carries values from the request; the block is HTML.
    return "\n<B>" + HtmlEscape(m_name) + "</B> (Records=" + std::to_string(m_cells.Rows()) +
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

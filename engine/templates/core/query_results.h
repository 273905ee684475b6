// The result of one TSQUERY: its statement, where it runs, and every row read
// into memory as text.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "database/access/data_source_login.h"
#include "database/odbc/odbc_api.h"
#include "engine/templates/core/query_cells.h"

class CRequestBudget;
class CServerSettings;
class CWebException;

// Column indexes of the pseudo-columns every query offers.
inline constexpr int kColumnUnknown = -1;
inline constexpr int kColumnReturnValue = -2;
inline constexpr int kColumnRecordCount = -3;
inline constexpr int kColumnCurrentRow = -4;

struct CQueryColumn {
    std::string name;  // upper-cased
    short sqlType = 0;
};

class CTSXQueryImp {
public:
    explicit CTSXQueryImp(bool showSql = false) : m_showSql(showSql) {}

    // The budget of the request whose page holds this result: the bytes of its rows are drawn
    // from it (and given back when the result goes), and a statement run for it is cancelled
    // when the budget stops. Null: neither. The budget must outlive the result.
    void UseBudget(CRequestBudget* budget) { m_bytes.budget = budget; }

    // Stores the name upper-cased; a scope name (FORM, URL, ...) is refused.
    void SetName(const std::string& name);
    const std::string& GetName() const { return m_name; }
    void SetDataSource(const std::string& name) { m_dataSource = name; }
    const std::string& GetDataSource() const { return m_dataSource; }
    void SetUserName(const std::string& name) { m_userName = name; }
    void SetPassword(const std::string& password) { m_password = password; }
    CDataSourceLogin GetLogin() const { return {m_dataSource, m_userName, m_password}; }
    void SetMaxRows(int maxRows) { m_maxRows = maxRows; }
    int GetMaxRows() const { return m_maxRows; }
    void SetTimeout(int seconds) { m_timeout = seconds; }
    int GetTimeout() const { return m_timeout; }
    void AppendSQL(const std::string& text) { m_sql += text; }
    const std::string& GetSQL() const { return m_sql; }
    void SetDebug(bool on) { m_debug = on; }
    bool GetDebug() const { return m_debug; }
    bool GetShowSql() const { return m_showSql; }
    bool IsExecuted() const { return m_executed; }

    // Throws when the SQL text (first) or the data source is empty.
    void ValidateQuery() const;
    // Per-data-source authorisation: DataSources\<name> AllowAllSQL (default 1),
    // else the statement's first word must be allowed (DISABLE_<word>, default 0).
    void CheckSqlOperation(CServerSettings* settings) const;

    // Trims the SQL and checks it; the first step of a run, before any connection is made.
    void PrepareExecution(CServerSettings* settings);
    // With show-SQL on, adds the SQL to the detail of an error of the run (connecting,
    // opening the cursor, executing, reading).
    void AddSqlToError(CWebException* error) const;
    // Runs the prepared SQL on cursor and reads every result row (up to MAXROWS), then closes
    // the cursor. Values are read whole, however long, as far as the budget's bytes allow
    // (past them: "Query results too large"); NULL reads as "". checkTime runs before each row
    // and may throw. The cursor gets the engine's error policy, so ODBC failures throw
    // CWebODBCException*, with the SQL added as AddSqlToError says; a failure because the
    // budget stopped (its cancel interrupted the statement) throws the budget's error instead.
    void ExecuteOnCursor(odbcCURSOR& cursor, const std::function<void()>& checkTime);

    // 0-based column, a pseudo-column, or kColumnUnknown.
    int GetColumnIndex(const std::string& name) const;
    // A cell's text or a pseudo-column's value for the 0-based row; a row or
    // column out of range reads as "".
    std::string GetColumnValue(int row, int column) const;
    // The stored text of a real cell (0-based), "" for one out of range. The pointer
    // stays valid until that cell is set again or the query goes.
    const char* CellText(int row, int column) const;
    int GetRowCount() const { return static_cast<int>(m_cells.Rows()); }
    int GetColumnCount() const { return static_cast<int>(m_columns.size()); }
    const CQueryColumn& GetColumn(int index) const { return m_columns[static_cast<std::size_t>(index)]; }
    // Signed: an extension tag may set any time, and the debug output shows it as set.
    long GetElapsedMs() const { return m_elapsedMs; }

    // Results made without a statement (extension tags, tests): a column, then
    // rows of one text per column (missing ones empty). Their bytes count as a statement's do.
    void AddColumn(const std::string& name, short sqlType = SQL_VARCHAR);
    void AddRow(const std::vector<std::string>& row);
    // A cell of an existing 0-based row and column.
    void SetCell(int row, int column, const std::string& value);
    void ReplaceSQL(const std::string& text) { m_sql = text; }
    void SetElapsedMs(long ms) { m_elapsedMs = ms; }
    // A result made without a statement counts as run from here on.
    void MarkExecuted() { m_executed = true; }

    // The query's entry for the page's debug block.
    std::string DebugLine() const;

private:
    void ReadResult(odbcCURSOR& cursor, const std::function<void()>& checkTime);
    // Counts bytes of this result against the budget (throws past it).
    void Draw(std::size_t bytes);

    // The bytes drawn from the budget, given back when the result goes (or moves away).
    struct DrawnBytes {
        CRequestBudget* budget = nullptr;
        std::size_t drawn = 0;
        DrawnBytes() = default;
        DrawnBytes(DrawnBytes&& other) noexcept : budget(other.budget), drawn(other.drawn) { other.drawn = 0; }
        DrawnBytes& operator=(DrawnBytes&& other) noexcept;
        ~DrawnBytes();
    };

    std::string m_name;
    std::string m_dataSource;
    std::string m_userName;
    std::string m_password;
    std::string m_sql;
    bool m_debug = false;
    bool m_showSql = false;
    bool m_executed = false;
    int m_maxRows = -1;
    int m_timeout = -1;
    CQueryCells m_cells;
    std::vector<CQueryColumn> m_columns;
    std::map<std::string, int> m_columnMap;
    long m_returnValue = 0;
    long m_elapsedMs = 0;
    DrawnBytes m_bytes;
};

// The page's executed queries by upper-cased name. A query may be entered again
// by the TSQUERY that made it (a loop body running it once more); the earlier
// result stays alive until the page ends, since a running loop may still read it.
class CNamedQueries {
public:
    // The query of that name (any case), or null.
    CTSXQueryImp* Find(const std::string& name) const;
    // The origin (template and position) of the TSQUERY that entered name.
    const std::string* OriginOf(const std::string& name) const;
    void Enter(std::unique_ptr<CTSXQueryImp> query, const std::string& origin);
    void Clear();

private:
    struct Entry {
        std::unique_ptr<CTSXQueryImp> query;
        std::string origin;
    };
    std::map<std::string, Entry> m_queries;
    std::vector<std::unique_ptr<CTSXQueryImp>> m_replaced;
};


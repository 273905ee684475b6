// Reading a report's table: through ODBC (the statement comes only from the definition) or
// from a comma-separated text file beside the report.
#include <sql.h>
#include <sqlext.h>

#include <sstream>

#include "interfaces/print_api.h"
#include "printengine/print_job.h"
#include "printengine/report_file_read.h"

namespace tessaro::print {

namespace {

std::string StatementText(const TableDefinition& table) {
    if (!table.sql.empty()) return table.sql;
    std::string sql = "SELECT ";
    for (size_t i = 0; i < table.fields.size(); ++i) sql += (i ? ", " : "") + table.fields[i];
    return sql + " FROM " + table.table;
}

std::string Diagnostic(SQLSMALLINT type, SQLHANDLE handle) {
    SQLCHAR state[6] = {0};
    SQLCHAR message[512] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message, &length))) return {};
    return std::string(reinterpret_cast<char*>(state)) + ": " + reinterpret_cast<char*>(message);
}

bool IsNumericType(SQLSMALLINT type) {
    switch (type) {
        case SQL_NUMERIC:
        case SQL_DECIMAL:
        case SQL_INTEGER:
        case SQL_SMALLINT:
        case SQL_FLOAT:
        case SQL_REAL:
        case SQL_DOUBLE:
        case SQL_BIGINT:
        case SQL_TINYINT:
            return true;
        default:
            return false;
    }
}

// A connection the engine opens itself when no private one was handed over.
class OwnConnection {
public:
    ~OwnConnection() {
        if (m_dbc) {
            SQLDisconnect(m_dbc);
            SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
        }
        if (m_env) SQLFreeHandle(SQL_HANDLE_ENV, m_env);
    }
    SQLHDBC Connect(const PrintJob::LogOn& logOn) {
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env)) ||
            !SQL_SUCCEEDED(
                SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)) ||
            !SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc)))
            throw FormulaError(kErrLogOn, "The print engine could not start ODBC.");
        auto text = [](const std::string& s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())); };
        SQLRETURN rc =
            SQLConnect(m_dbc, text(logOn.server), SQL_NTS, text(logOn.user), SQL_NTS, text(logOn.password), SQL_NTS);
        if (!SQL_SUCCEEDED(rc)) {
            std::string why = Diagnostic(SQL_HANDLE_DBC, m_dbc);
            SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
            m_dbc = nullptr;
            throw FormulaError(kErrLogOn, "Log-on to " + logOn.server + " failed (" + why + ").");
        }
        return m_dbc;
    }

private:
    SQLHENV m_env = nullptr;
    SQLHDBC m_dbc = nullptr;
};

class Statement {
public:
    explicit Statement(SQLHDBC dbc) {
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &m_stmt))) {
            m_stmt = nullptr;
            throw FormulaError(kErrLogOn, "The connection handed to the print engine cannot run a statement.");
        }
    }
    ~Statement() { SQLFreeHandle(SQL_HANDLE_STMT, m_stmt); }
    SQLHSTMT Handle() const { return m_stmt; }

private:
    SQLHSTMT m_stmt = nullptr;
};

}  // namespace

std::vector<Row> ReadOdbcRows(const TableDefinition& table, void* connection, const PrintJob::LogOn& logOn) {
    OwnConnection own;
    SQLHDBC dbc = connection ? static_cast<SQLHDBC>(connection) : own.Connect(logOn);
    Statement stmt(dbc);
    std::string sql = StatementText(table);
    if (!SQL_SUCCEEDED(SQLExecDirect(stmt.Handle(), reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS)))
        throw FormulaError(kErrLogOn, "The table's query failed (" + Diagnostic(SQL_HANDLE_STMT, stmt.Handle()) + ").");
    SQLSMALLINT count = 0;
    SQLNumResultCols(stmt.Handle(), &count);
    if (size_t(count) < table.fields.size())
        throw FormulaError(kErrUnknownField, "The table's query gives fewer columns than the report's fields.");
    std::vector<bool> numeric;
    for (SQLUSMALLINT c = 1; c <= table.fields.size(); ++c) {
        SQLSMALLINT type = 0;
        SQLDescribeCol(stmt.Handle(), c, nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr);
        numeric.push_back(IsNumericType(type));
    }
    std::vector<Row> rows;
    SQLRETURN rc;
    while (SQL_SUCCEEDED(rc = SQLFetch(stmt.Handle()))) {
        Row row;
        for (SQLUSMALLINT c = 1; c <= table.fields.size(); ++c) {
            std::string text;
            char buffer[1024];
            SQLLEN indicator = 0;
            SQLRETURN got;
            // Long values arrive in pieces; each piece but the last fills the buffer.
            while (SQL_SUCCEEDED(got = SQLGetData(stmt.Handle(), c, SQL_C_CHAR, buffer, sizeof buffer, &indicator))) {
                if (indicator == SQL_NULL_DATA) break;
                size_t piece = (indicator == SQL_NO_TOTAL || indicator >= SQLLEN(sizeof buffer)) ? sizeof buffer - 1
                                                                                                 : size_t(indicator);
                text.append(buffer, piece);
                if (got == SQL_SUCCESS) break;
            }
            Value v = Value::OfText(text);
            double n = 0;
            if (numeric[c - 1] && ReadNumber(text, &n)) {
                v.kind = Value::Kind::Number;
                v.number = n;
            }
            row.push_back(std::move(v));
        }
        rows.push_back(std::move(row));
    }
    if (rc != SQL_NO_DATA)
        throw FormulaError(kErrLogOn,
                           "Reading the table's rows failed (" + Diagnostic(SQL_HANDLE_STMT, stmt.Handle()) + ").");
    return rows;
}

namespace {

std::vector<std::string> SplitCsvLine(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"')
                quoted = false;
            else
                fields.back() += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c != '\r') {
            fields.back() += c;
        }
    }
    return fields;
}

}  // namespace

std::vector<Row> ReadFileRows(const TableDefinition& table, const std::string& reportPath) {
    std::string path = table.file;
    if (path.empty() || path[0] != '/') {
        size_t slash = reportPath.find_last_of('/');
        path = (slash == std::string::npos ? std::string() : reportPath.substr(0, slash + 1)) + path;
    }
    std::string text;
    if (!ReadReportFile(path, &text)) throw FormulaError(kErrLogOn, "The table file " + path + " cannot be opened.");
    std::istringstream in(text);
    std::vector<Row> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (Trim(line).empty()) continue;
        std::vector<std::string> fields = SplitCsvLine(line);
        fields.resize(table.fields.size());
        Row row;
        for (std::string& f : fields) {
            Value v = Value::OfText(f);
            double n = 0;
            if (ReadNumber(f, &n)) {
                v.kind = Value::Kind::Number;
                v.number = n;
            }
            row.push_back(std::move(v));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace tessaro::print

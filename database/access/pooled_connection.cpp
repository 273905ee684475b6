#include "database/access/pooled_connection.h"

#include <algorithm>
#include <new>
#include <vector>

#include "database/access/login_store.h"
#include "database/access/odbc_file_source.h"
#include "database/access/odbc_error_page.h"
#include "database/odbc/odbc_connect.h"
#include "database/odbc/odbc_cursor.h"
#include "database/odbc/odbc_env.h"
#include "platform/home.h"
#include "platform/path_util.h"
#include "support/registry.h"
#include "support/web_exception.h"

namespace {

bool Succeeded(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

std::string StateOf(const odbcBASE& object) {
    return reinterpret_cast<const char*>(object.SqlState());
}

// The error page of an object whose failure was not reported through the handler.
[[noreturn]] void ThrowLastError(const odbcBASE& object) {
    std::string state = StateOf(object);
    std::string message = reinterpret_cast<const char*>(object.ErrMsg());
    throw new CWebODBCException(ODBCErrorTitle(state), ODBCErrorDetail(state, message));
}

// A freshly allocated cursor or statement with the engine's error policy; one without a
// statement handle is freed and its error thrown.
template <class Object>
Object* Adopt(Object* object) {
    if (!object) throw std::bad_alloc();
    if (object->GetHstmt() == SQL_NULL_HSTMT) {
        std::string state = StateOf(*object), message = reinterpret_cast<const char*>(object->ErrMsg());
        delete object;
        throw new CWebODBCException(ODBCErrorTitle(state), ODBCErrorDetail(state, message));
    }
    InstallEngineErrorPolicy(*object);
    return object;
}

template <class Object>
void CancelAndDelete(std::vector<Object*>& objects) {
    for (Object* object : objects) {
        if (!object) continue;
        if (object->GetHstmt() != SQL_NULL_HSTMT) SQLCancel(object->GetHstmt());
        delete object;
    }
    objects.clear();
}

}  // namespace

bool IsConnectionLostState(const std::string& state) {
    if (state.size() != 5) return false;
    return state.compare(0, 2, "08") == 0 || state == "HYT01" || state.compare(0, 4, "57P0") == 0;
}

std::string ODBCTraceFileName(const std::string& logFilePath) {
    std::string path = logFilePath;
    if (path.empty() || path.back() != '\\') path += '\\';
    return path + "ODBC.LOG";
}

std::string ODBCTraceDiskPath(const std::string& logFilePath, bool missing) {
    // The root of the file system is no place for a trace.
    if (missing) return tessaro::platform::JoinPath(tessaro::platform::WindowsDirectory(), "ODBC.LOG");
    return tessaro::platform::ResolvePathNoCase(tessaro::platform::ToUnixPath(ODBCTraceFileName(logFilePath)));
}

PooledConnection::PooledConnection(odbcENV* environment, CRegistrySettings* settings, const CDataSourceLogin& key)
    : m_environment(environment), m_settings(settings), m_key(key) {}

PooledConnection::~PooledConnection() {
    FreeStatements();
    if (m_connect) {
        // A driver refuses to disconnect inside a transaction; end it first.
        EndOpenTransaction();
        delete m_connect;  // disconnects; the library never reports while destroying
        m_connect = nullptr;
    }
}

bool PooledConnection::IsConnected() const {
    return m_connect && m_connect->Connected();
}

odbcCONNECT* PooledConnection::Connect() {
    std::string dataSource = m_key.dataSource, user = m_key.user, password = m_key.password;
    if (user.empty()) {
        // The stored login replaces the key's password too; the key itself is kept as asked.
        user = GetDataSourceUserID(m_settings, dataSource);
        password = GetDataSourcePassword(m_settings, dataSource);
    }
    FreeStatements();
    delete m_connect;
    m_connect = nullptr;
    m_isolationChanged = false;
    m_broken = false;

    // The connection object selects the driver's own cursors: the ODBC cursor library
    // is not available on this platform.
    m_connect = m_environment->AllocConnect(static_cast<char*>(nullptr), nullptr, nullptr, 0);
    if (!m_connect) throw std::bad_alloc();
    // The first attempt reports nothing by itself: a data source the driver manager
    // remembers as missing may have been added to the ODBC files since.
    m_connect->AutoRetrieve(1);
    m_connect->AutoReport(0);
    m_connect->Connect(dataSource.data(), user.data(), password.data());
    if (!m_connect->Connected() && StateOf(*m_connect) == "IM002") {
        std::string text = OdbcFileConnectionString(dataSource, user, password);
        if (!text.empty()) {
            std::vector<char> in(text.begin(), text.end());
            in.push_back('\0');
            char out[1024];
            m_connect->DriverConnectNoPrompt(in.data(), out, static_cast<short>(sizeof out));
            std::fill(in.begin(), in.end(), '\0');  // it held the password
        }
    }
    InstallEngineErrorPolicy(*m_connect);
    if (!m_connect->Connected()) ThrowLastError(*m_connect);
    return m_connect;
}

void PooledConnection::SetTrace() {
    if (!m_connect) return;
    long trace = m_settings ? m_settings->GetNumber("Server", "TraceODBC", 0) : 0;
    if (trace == 0) {
        m_connect->SetConnectOption(SQL_OPT_TRACE, SQL_OPT_TRACE_OFF);
        return;
    }
    static const std::string kMissing("\x01missing");
    std::string folder = m_settings->GetString("Logging", "LogFilePath", kMissing);
    bool missing = folder == kMissing || folder.empty();
    std::string file = ODBCTraceDiskPath(missing ? std::string() : folder, missing);
    // The file first, so that the first traced call already goes there.
    m_connect->SetConnectOptionString(SQL_OPT_TRACEFILE, file.c_str());
    m_connect->SetConnectOption(SQL_OPT_TRACE, SQL_OPT_TRACE_ON);
}

odbcCURSOR* PooledConnection::AllocCursor() {
    if (!m_connect) throw std::bad_alloc();
    m_cursors.reserve(m_cursors.size() + 1);
    m_cursors.push_back(
        Adopt(m_connect->AllocCursor(static_cast<char*>(nullptr), 0, 0, 0, nullptr, 0, nullptr, nullptr, 0, nullptr)));
    return m_cursors.back();
}

odbcSTMT* PooledConnection::AllocStmt() {
    if (!m_connect) throw std::bad_alloc();
    m_statements.reserve(m_statements.size() + 1);
    m_statements.push_back(Adopt(m_connect->AllocStmt(static_cast<char*>(nullptr), 0, 0, nullptr, 0, nullptr)));
    return m_statements.back();
}

void PooledConnection::NoteBrokenLink() {
    if (m_connect && IsConnectionLostState(StateOf(*m_connect))) m_broken = true;
    for (odbcCURSOR* cursor : m_cursors)
        if (cursor && IsConnectionLostState(StateOf(*cursor))) m_broken = true;
    for (odbcSTMT* statement : m_statements)
        if (statement && IsConnectionLostState(StateOf(*statement))) m_broken = true;
}

void PooledConnection::FreeStatements() {
    CancelAndDelete(m_cursors);
    CancelAndDelete(m_statements);
}

bool PooledConnection::EndOpenTransaction() {
    if (!IsConnected()) return true;
    SQLHDBC hdbc = m_connect->GetHdbc();
    SQLULEN autocommit = SQL_AUTOCOMMIT_ON;
    if (!Succeeded(SQLGetConnectOption(hdbc, SQL_AUTOCOMMIT, &autocommit))) return false;
    if (static_cast<SQLUINTEGER>(autocommit) == SQL_AUTOCOMMIT_OFF) {
        if (!Succeeded(SQLTransact(m_connect->GetHenv(), hdbc, SQL_ROLLBACK))) return false;
        if (!Succeeded(SQLSetConnectOption(hdbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_ON))) return false;
    }
    if (m_isolationChanged) {
        SQLUINTEGER level = 0;
        if (!Succeeded(SQLGetInfo(hdbc, SQL_DEFAULT_TXN_ISOLATION, &level, sizeof level, nullptr))) return false;
        if (level != 0 && !Succeeded(SQLSetConnectOption(hdbc, SQL_TXN_ISOLATION, level))) return false;
        m_isolationChanged = false;
    }
    return true;
}

bool PooledConnection::Reset() {
    try {
        NoteBrokenLink();
        FreeStatements();
        if (m_broken) return false;
        return EndOpenTransaction();
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
    return false;
}

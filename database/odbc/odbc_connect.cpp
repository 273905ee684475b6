#include "database/odbc/odbc_connect.h"

#include "database/odbc/odbc_blob.h"
#include "database/odbc/odbc_cursor.h"
#include "database/odbc/odbc_env.h"
#include "database/odbc/odbc_lists.h"

#include <cstring>
#include <new>

namespace {
unsigned char* U(char* s) {
    return reinterpret_cast<unsigned char*>(s);
}
}  // namespace

odbcCONNECT::odbcCONNECT(odbcENV* env, char* dsn, char* uid, char* pwd, unsigned long loginTimeout)
    : odbcCONNECT(env, U(dsn), U(uid), U(pwd), loginTimeout) {}

odbcCONNECT::odbcCONNECT(odbcENV* env, unsigned char* dsn, unsigned char* uid, unsigned char* pwd,
                         unsigned long loginTimeout)
    : env_(env) {
    AutoRetrieve(1);
    henv_ = env ? env->GetHenv() : SQL_NULL_HENV;
    SetRC(SQLAllocConnect(henv_, &hdbc_));
    bool allocated = sqlsuccess();
    if (!allocated) hdbc_ = SQL_NULL_HDBC;
    if (allocated && loginTimeout != 0) SQLSetConnectOption(hdbc_, SQL_LOGIN_TIMEOUT, loginTimeout);
    if (allocated) SetConnectOption(SQL_ODBC_CURSORS, env ? env->CursorLibrarySetting() : SQL_CUR_USE_DRIVER);
    if (dsn && uid && pwd && sqlsuccess()) Connect(dsn, uid, pwd);
    if (env) {
        CopyErrorPolicy(*env);
        env->RegisterConnection(this);
    }
}

odbcCONNECT::~odbcCONNECT() {
    SilenceForDestruction();
    // Statements outlive their connection: they drop their handles now and forget it.
    if (statements_) {
        for (odbcSTMTELEM* e = statements_->First(); e; e = e->next) e->item->DetachConnection();
        delete statements_;
        statements_ = nullptr;
    }
    if (connected_) Disconnect();
    if (hdbc_ != SQL_NULL_HDBC) {
        SQLFreeConnect(hdbc_);
        hdbc_ = SQL_NULL_HDBC;
    }
    if (env_) env_->UnregisterConnection(this);
}

short odbcCONNECT::RegisterError() {
    return Error(henv_, hdbc_, SQL_NULL_HSTMT);
}

short odbcCONNECT::Connect(char* dsn, char* uid, char* pwd) {
    return Connect(U(dsn), U(uid), U(pwd));
}

short odbcCONNECT::Connect(unsigned char* dsn, unsigned char* uid, unsigned char* pwd) {
    if (hdbc_ == SQL_NULL_HDBC) {
        SetRC(ODBC_RC_MEMORY);
        return lastRC();
    }
    if (connected_) Disconnect();
    sqliteDriver_ = -1;  // the data source may use another driver
    SetRC(SQLConnect(hdbc_, dsn, SQL_NTS, uid, SQL_NTS, pwd, SQL_NTS));
    if (sqlsuccess()) connected_ = 1;
    return lastRC();
}

short odbcCONNECT::Disconnect() {
    if (hdbc_ == SQL_NULL_HDBC) {
        SetRC(ODBC_RC_MEMORY);
        return lastRC();
    }
    if (!connected_) return lastRC();
    SetRC(SQLDisconnect(hdbc_));
    if (sqlsuccess()) {
        connected_ = 0;
        // The driver manager freed every statement handle of the connection.
        ForgetStatementHandles();
    }
    return lastRC();
}

void odbcCONNECT::ForgetStatementHandles() {
    if (!statements_) return;
    for (odbcSTMTELEM* e = statements_->First(); e; e = e->next) e->item->ForgetHandle();
}

short odbcCONNECT::Commit() {
    if (hdbc_ == SQL_NULL_HDBC) {
        SetRC(ODBC_RC_MEMORY);
        return lastRC();
    }
    SetRC(SQLTransact(SQL_NULL_HENV, hdbc_, SQL_COMMIT));
    return lastRC();
}

short odbcCONNECT::RollBack() {
    if (hdbc_ == SQL_NULL_HDBC) {
        SetRC(ODBC_RC_MEMORY);
        return lastRC();
    }
    SetRC(SQLTransact(SQL_NULL_HENV, hdbc_, SQL_ROLLBACK));
    return lastRC();
}

SQLULEN odbcCONNECT::GetConnectOption(unsigned short option) {
    SQLULEN value = 0;
    SetRC(SQLGetConnectOption(hdbc_, option, &value));
    return value;
}

const char* odbcCONNECT::GetConnectOptionString(unsigned short option) {
    std::memset(optionString_, 0, sizeof optionString_);
    // The driver may write up to SQL_MAX_OPTION_STRING_LENGTH bytes; the buffer has one more.
    SetRC(SQLGetConnectOption(hdbc_, option, optionString_));
    optionString_[sizeof optionString_ - 1] = 0;
    return optionString_;
}

short odbcCONNECT::SetConnectOption(unsigned short option, SQLULEN value) {
    SetRC(SQLSetConnectOption(hdbc_, option, value));
    return lastRC();
}

short odbcCONNECT::SetConnectOptionString(unsigned short option, const char* text) {
    return SetConnectOption(option, reinterpret_cast<SQLULEN>(text));
}

short odbcCONNECT::DriverConnect(odbcHWND wnd, char* in, char* out, short outMax, short* outLen,
                                 unsigned short completion) {
    return DriverConnect(wnd, U(in), U(out), outMax, outLen, completion);
}

short odbcCONNECT::DriverConnect(odbcHWND wnd, unsigned char* in, unsigned char* out, short outMax, short* outLen,
                                 unsigned short completion) {
    if (hdbc_ == SQL_NULL_HDBC) {
        SetRC(ODBC_RC_MEMORY);
        return lastRC();
    }
    if (connected_) Disconnect();
    // No window can be valid on this platform; a prompt can only come from the driver itself.
    if (wnd) return SQL_ERROR;
    sqliteDriver_ = -1;
    SQLSMALLINT len = 0;
    SetRC(SQLDriverConnect(hdbc_, nullptr, in, SQL_NTS, out, outMax, &len, completion));
    if (outLen) *outLen = len;
    if (sqlsuccess()) connected_ = 1;
    return lastRC();
}

short odbcCONNECT::DriverConnectNoPrompt(char* in, char* out, short outMax) {
    return DriverConnectNoPrompt(U(in), U(out), outMax);
}
short odbcCONNECT::DriverConnectNoPrompt(unsigned char* in, unsigned char* out, short outMax) {
    return DriverConnect(nullptr, in, out, outMax, nullptr, SQL_DRIVER_NOPROMPT);
}
short odbcCONNECT::DriverConnectComplete(odbcHWND wnd, char* in, char* out, short outMax) {
    return DriverConnectComplete(wnd, U(in), U(out), outMax);
}
short odbcCONNECT::DriverConnectComplete(odbcHWND wnd, unsigned char* in, unsigned char* out, short outMax) {
    return DriverConnect(wnd, in, out, outMax, nullptr, SQL_DRIVER_COMPLETE);
}
short odbcCONNECT::DriverConnectPrompt(odbcHWND wnd, char* out, short outMax) {
    return DriverConnectPrompt(wnd, U(out), outMax);
}
short odbcCONNECT::DriverConnectPrompt(odbcHWND wnd, unsigned char* out, short outMax) {
    static unsigned char empty[1] = {0};
    return DriverConnect(wnd, empty, out, outMax, nullptr, SQL_DRIVER_PROMPT);
}
short odbcCONNECT::DriverConnectCompleteRequired(odbcHWND wnd, char* in, char* out, short outMax) {
    return DriverConnectCompleteRequired(wnd, U(in), U(out), outMax);
}
short odbcCONNECT::DriverConnectCompleteRequired(odbcHWND wnd, unsigned char* in, unsigned char* out, short outMax) {
    return DriverConnect(wnd, in, out, outMax, nullptr, SQL_DRIVER_COMPLETE_REQUIRED);
}

void odbcCONNECT::RegisterStmt(odbcSTMT* stmt) {
    if (!statements_) statements_ = new (std::nothrow) odbcSTMTLIST(0);
    if (!statements_) {
        SetRC(ODBC_RC_MEMORY);
        return;
    }
    statements_->Add(stmt);
}

void odbcCONNECT::UnregisterStmt(odbcSTMT* stmt) {
    if (statements_) statements_->Remove(stmt, 0, 0);
}

// --- factory -------------------------------------------------------------------------------

odbcSTMT* odbcCONNECT::AllocStmt(char* text, int prepare, int execute, sPARMBIND* parms, unsigned short parmCount,
                                 void* parmRecord) {
    return AllocStmt(U(text), prepare, execute, parms, parmCount, parmRecord);
}

odbcSTMT* odbcCONNECT::AllocStmt(unsigned char* text, int prepare, int execute, sPARMBIND* parms,
                                 unsigned short parmCount, void* parmRecord) {
    odbcSTMT* s = new (std::nothrow) odbcSTMT(this, text, prepare, execute, parms, parmCount, parmRecord);
    if (!s) SetRC(ODBC_RC_MEMORY);
    return s;
}

odbcCURSOR* odbcCONNECT::AllocCursor(char* text, int prepare, int execute, int autoBind, sPARMBIND* parms,
                                     unsigned short parmCount, void* parmRecord, sCOLBIND* cols,
                                     unsigned short colCount, void* record) {
    return AllocCursor(U(text), prepare, execute, autoBind, parms, parmCount, parmRecord, cols, colCount, record);
}

odbcCURSOR* odbcCONNECT::AllocCursor(unsigned char* text, int prepare, int execute, int autoBind, sPARMBIND* parms,
                                     unsigned short parmCount, void* parmRecord, sCOLBIND* cols,
                                     unsigned short colCount, void* record) {
    odbcCURSOR* c = new (std::nothrow)
        odbcCURSOR(this, text, prepare, execute, autoBind, parms, parmCount, parmRecord, cols, colCount, record);
    if (!c) SetRC(ODBC_RC_MEMORY);
    return c;
}

void odbcCONNECT::DeAllocStmt(odbcSTMT* stmt) {
    delete stmt;
}
void odbcCONNECT::DeAllocCursor(odbcCURSOR* cursor) {
    delete cursor;
}

odbcBLOB* odbcCONNECT::AllocBLOB(odbcCURSOR* cursor, unsigned short column, unsigned long precision, short sqlType,
                                 unsigned short parameter, long putChunk, long getChunk) {
    odbcBLOB* b = new (std::nothrow) odbcBLOB(cursor, column, precision, sqlType, parameter, putChunk, getChunk);
    if (!b) SetRC(ODBC_RC_MEMORY);
    return b;
}

void odbcCONNECT::DeAllocBLOB(odbcBLOB* blob) {
    delete blob;
}

#include "database/odbc/odbc_stmt.h"

#include "database/odbc/odbc_connect.h"

#include <cstring>

odbcSTMT::odbcSTMT(odbcCONNECT* conn, const char* text, int prepare, int execute, const sPARMBIND* parms,
                   unsigned short parmCount, void* parmRecord)
    : odbcSTMT(conn, reinterpret_cast<const unsigned char*>(text), prepare, execute, parms, parmCount, parmRecord) {}

odbcSTMT::odbcSTMT(odbcCONNECT* conn, const unsigned char* text, int prepare, int execute, const sPARMBIND* parms,
                   unsigned short parmCount, void* parmRecord)
    : parms_(parms), parmCount_(parmCount), conn_(conn), text_(text), parmRecord_(parmRecord) {
    Construct(prepare, execute);
}

void odbcSTMT::Construct(int prepare, int execute) {
    AutoRetrieve(2);
    AutoReport(0);
    SetRC(SQLAllocStmt(conn_ ? conn_->GetHdbc() : SQL_NULL_HDBC, &hstmt_));
    if (sqlsuccess())
        PrepareAndRun(prepare, execute);
    else
        hstmt_ = SQL_NULL_HSTMT;
    if (conn_) {
        CopyErrorPolicy(*conn_);
        conn_->RegisterStmt(this);
    }
}

void odbcSTMT::PrepareAndRun(int prepare, int execute) {
    if (!text_ || !prepare)
        SetParams();
    else
        Prepare();
    if (text_ && !error_ && execute && !DoStmt()) error_ = 1;
}

odbcSTMT::~odbcSTMT() {
    SilenceForDestruction();
    if (hstmt_ != SQL_NULL_HSTMT) {
        SQLFreeStmt(hstmt_, SQL_DROP);
        hstmt_ = SQL_NULL_HSTMT;
    }
    if (conn_) conn_->UnregisterStmt(this);
}

void odbcSTMT::DetachConnection() {
    if (hstmt_ != SQL_NULL_HSTMT) {
        SQLFreeStmt(hstmt_, SQL_DROP);
        hstmt_ = SQL_NULL_HSTMT;
    }
    conn_ = nullptr;
}

short odbcSTMT::RegisterError() {
    SQLHENV henv = conn_ ? conn_->GetHenv() : SQL_NULL_HENV;
    SQLHDBC hdbc = conn_ ? conn_->GetHdbc() : SQL_NULL_HDBC;
    SQLHSTMT hstmt = hdbc != SQL_NULL_HDBC ? hstmt_ : SQL_NULL_HSTMT;
    return Error(henv, hdbc, hstmt);
}

void odbcSTMT::SetParmBindings(const sPARMBIND* parms, unsigned short count, void* record) {
    parms_ = parms;
    parmCount_ = count;
    parmRecord_ = record;
    parmsBound_ = 0;
    executed_ = 0;
}

void odbcSTMT::GetParmBindings(const sPARMBIND** parms, unsigned short* count, void** record) const {
    if (parms) *parms = parms_;
    if (count) *count = parmCount_;
    if (record) *record = parmRecord_;
}

const unsigned char* odbcSTMT::SetStmt(const char* text) {
    return SetStmt(reinterpret_cast<const unsigned char*>(text));
}

const unsigned char* odbcSTMT::SetStmt(const unsigned char* text) {
    const unsigned char* previous = text_;
    text_ = text;
    return previous;
}

short odbcSTMT::Cancel() {
    SetRC(SQLCancel(hstmt_));
    return lastRC();
}

void odbcSTMT::CancelRunning() const {
    if (hstmt_ != SQL_NULL_HSTMT) SQLCancel(hstmt_);
}

short odbcSTMT::Close() {
    SetRC(SQLFreeStmt(hstmt_, SQL_CLOSE));
    return lastRC();
}

short odbcSTMT::ResetParams() {
    SetRC(SQLFreeStmt(hstmt_, SQL_RESET_PARAMS));
    return lastRC();
}

short odbcSTMT::RowCount(SQLLEN* count) {
    SetRC(SQLRowCount(hstmt_, count));
    return lastRC();
}

SQLLEN odbcSTMT::RowCount() {
    SQLLEN count = 0;
    RowCount(&count);
    return sqlsuccess() ? count : 0;
}

short odbcSTMT::Prepare(const char* text) {
    return Prepare(reinterpret_cast<const unsigned char*>(text));
}

short odbcSTMT::Prepare(const unsigned char* text) {
    SetRC(SQLPrepare(hstmt_, const_cast<SQLCHAR*>(text), SQL_NTS));
    return lastRC();
}

short odbcSTMT::Prepare() {
    static const unsigned char empty[1] = {0};
    Prepare(text_ ? text_ : empty);
    if (!sqlsuccess()) {
        error_ = 1;
        return lastRC();
    }
    prepared_ = 1;
    if (parmsBound_ == 1) ResetParams();
    SetParams();
    return lastRC();
}

short odbcSTMT::ExecDirect(const char* text) {
    return ExecDirect(reinterpret_cast<const unsigned char*>(text));
}

short odbcSTMT::ExecDirect(const unsigned char* text) {
    return ExecDirect(text, SQL_NTS);
}

short odbcSTMT::ExecDirect(const unsigned char* text, SQLINTEGER length) {
    SetRC(SQLExecDirect(hstmt_, const_cast<SQLCHAR*>(text), length));
    if (sqlsuccess()) executed_ = 1;
    return lastRC();
}

short odbcSTMT::Execute() {
    SetRC(SQLExecute(hstmt_));
    if (sqlsuccess()) executed_ = 1;
    return lastRC();
}

int odbcSTMT::SetParams() {
    if (!parms_ || parmCount_ == 0) return 0;
    SetParam(parms_, parmCount_, parmRecord_);
    error_ = sqlsuccess() ? 0 : 1;
    return sqlsuccess();
}

void* odbcSTMT::ParmValueAddress(const sPARMBIND& p) const {
    if (p.valueOffset == PARM_VALUE_BY_ADDRESS) return p.valueAddress;
    return static_cast<unsigned char*>(parmRecord_) + p.valueOffset;
}

short odbcSTMT::SetParam(const sPARMBIND* parms, unsigned short count, void* record) {
    lastParm_ = 0;
    if (count == 0 || !parms) return lastRC();
    parmRecord_ = record;
    bool bindParameter = conn_ && conn_->GetFunctions(SQL_API_SQLBINDPARAMETER) != 0;
    // A warning on one parameter does not leave the others unbound; an error stops at once.
    for (; lastParm_ < count; ++lastParm_) {
        if (!odbcSucceeded(BindParmRecord(parms[lastParm_], ParmValueAddress(parms[lastParm_]), bindParameter)))
            return lastRC();
    }
    return lastRC();
}

short odbcSTMT::BindParmRecord(const sPARMBIND& p, void* value, bool bindParameter, bool sizeAsGiven) {
    SQLLEN* length = const_cast<SQLLEN*>(&p.cbValue);
    SQLULEN precision = sizeAsGiven ? p.cbColDef : PrecisionForSqlType(p.fSqlType, p.cbColDef);
    if (bindParameter)
        return BindParameter(p.ipar, p.fParamType ? p.fParamType : SQL_PARAM_INPUT, p.fCType, p.fSqlType, precision,
                             p.ibScale, value, static_cast<SQLLEN>(p.cbColDef), length);
    return odbcSTMT::SetParam(p.ipar, p.fCType, p.fSqlType, precision, p.ibScale, value, length);
}

short odbcSTMT::SetParam(unsigned short ipar, short cType, short sqlType, SQLULEN colDef, short scale, void* value,
                         SQLLEN* length) {
    SetRC(SQLSetParam(hstmt_, ipar, cType, sqlType, colDef, scale, value, length));
    if (sqlsuccess()) parmsBound_ = 1;
    return lastRC();
}

SQLULEN odbcSTMT::GetStmtOption(unsigned short option) {
    SQLULEN value = 0;
    SetRC(SQLGetStmtOption(hstmt_, option, &value));
    return sqlsuccess() ? value : 0;
}

short odbcSTMT::SetStmtOption(unsigned short option, SQLULEN value) {
    SetRC(SQLSetStmtOption(hstmt_, option, value));
    return lastRC();
}

short odbcSTMT::ParamData(void** token) {
    SetRC(SQLParamData(hstmt_, token));
    return lastRC();
}

short odbcSTMT::PutData(void* data, SQLLEN length) {
    SetRC(SQLPutData(hstmt_, data, length));
    return lastRC();
}

short odbcSTMT::DescribeParam(unsigned short ipar, short* sqlType, SQLULEN* colDef, short* scale, short* nullable) {
    SetRC(SQLDescribeParam(hstmt_, ipar, sqlType, colDef, scale, nullable));
    return lastRC();
}

short odbcSTMT::DescribeParam(unsigned short ipar, sPARMBIND* rec) {
    if (!rec) {
        SetRC(ODBC_RC_BAD_PARAMETER);
        return lastRC();
    }
    *rec = sPARMBIND{};
    SQLSMALLINT nullable = 0;
    DescribeParam(ipar, &rec->fSqlType, &rec->cbColDef, &rec->ibScale, &nullable);
    if (sqlsuccess()) {
        rec->fCType = CTypeFromSqlType(rec->fSqlType);
        rec->cbValue = nullable;
    }
    return lastRC();
}

short odbcSTMT::CTypeFromSqlType(short sqlType) const {
    switch (sqlType) {
        case SQL_BIT:
            return SQL_C_BIT;
        case SQL_TINYINT:
            return SQL_C_TINYINT;
        case SQL_BIGINT:
        case SQL_LONGVARCHAR:
        case SQL_CHAR:
        case SQL_NUMERIC:
        case SQL_DECIMAL:
        case SQL_VARCHAR:
            return SQL_C_CHAR;
        case SQL_LONGVARBINARY:
        case SQL_VARBINARY:
        case SQL_BINARY:
            return SQL_C_BINARY;
        case SQL_INTEGER:
            return SQL_C_LONG;
        case SQL_SMALLINT:
            return SQL_C_SHORT;
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return SQL_C_DOUBLE;
        case SQL_REAL:
            return SQL_C_FLOAT;
        case SQL_DATE:
            return SQL_C_DATE;
        case SQL_TIME:
            return SQL_C_TIME;
        case SQL_TIMESTAMP:
            return SQL_C_TIMESTAMP;
        default:
            return 0;
    }
}

short odbcSTMT::NumParams(short* count) {
    SetRC(SQLNumParams(hstmt_, count));
    return lastRC();
}

short odbcSTMT::NumParams() {
    SQLSMALLINT count = 0;
    NumParams(&count);
    return sqlsuccess() ? count : 0;
}

short odbcSTMT::ParamOptions(SQLULEN rows, SQLULEN* rowOut) {
    parmSetCount_ = rows;
    SetRC(SQLParamOptions(hstmt_, rows, rowOut));
    return lastRC();
}

short odbcSTMT::ParamOptions(SQLULEN rows) {
    return ParamOptions(rows, &parmRow_);
}

int odbcSTMT::DoStmt() {
    static const unsigned char empty[1] = {0};
    if (prepared_)
        Execute();
    else
        ExecDirect(text_ ? text_ : empty);
    return sqlsuccess();
}

short odbcSTMT::BindParameter(unsigned short ipar, short paramType, short cType, short sqlType, SQLULEN colDef,
                              short scale, void* value, SQLLEN valueMax, SQLLEN* length) {
    SetRC(SQLBindParameter(hstmt_, ipar, paramType, cType, sqlType, colDef, scale, value, valueMax, length));
    return lastRC();
}

#include "database/odbc/odbc_cursor.h"

#include "database/odbc/odbc_blob.h"
#include "database/odbc/odbc_connect.h"

#include <cstring>
#include <new>

namespace {
unsigned char* U(char* s) {
    return reinterpret_cast<unsigned char*>(s);
}
constexpr size_t kColumnAlignment = 8;
}  // namespace

odbcCURSOR::odbcCURSOR(odbcCONNECT* conn, char* text, int prepare, int execute, int autoBind, sPARMBIND* parms,
                       unsigned short parmCount, void* parmRecord, sCOLBIND* cols, unsigned short colCount,
                       void* record)
    : odbcCURSOR(conn, U(text), prepare, execute, autoBind, parms, parmCount, parmRecord, cols, colCount, record) {}

odbcCURSOR::odbcCURSOR(odbcCONNECT* conn, unsigned char* text, int prepare, int execute, int autoBind, sPARMBIND* parms,
                       unsigned short parmCount, void* parmRecord, sCOLBIND* cols, unsigned short colCount,
                       void* record)
    // The statement part only allocates: its binding, preparing and running happen below, where
    // the cursor's own overrides (long-data parameters, column binding) take part.
    : odbcSTMT(conn, text, 0, 0, nullptr, 0, nullptr) {
    Construct(text, prepare, execute, autoBind, parms, parmCount, parmRecord, cols, colCount, record);
}

void odbcCURSOR::Construct(unsigned char* text, int prepare, int execute, int autoBind, sPARMBIND* parms,
                           unsigned short parmCount, void* parmRecord, sCOLBIND* cols, unsigned short count,
                           void* record) {
    AutoReport(0);
    AutoRetrieve(2);
    cols_ = cols;
    colCount_ = count;
    record_ = record;
    autoBind_ = autoBind;
    freshResult_ = 1;
    SetParmBindings(parms, parmCount, parmRecord);
    if (GetHstmt() != SQL_NULL_HSTMT) {
        SetRC(SQL_SUCCESS);
        PrepareAndRun(prepare, execute);
    }
    if (sqlsuccess() && text && (Prepared() || Executed())) {
        if (!cols || !count || !record) {
            if (autoBind_) AutoBind(nullptr, nullptr);
        } else {
            FreeColBindings();
            cols_ = cols;
            colCount_ = count;
            record_ = record;
            BindCol();
        }
        SetErrorFlag(sqlsuccess() ? 0 : 1);
    }
    if (GetConnect()) CopyErrorPolicy(*GetConnect());
}

odbcCURSOR::~odbcCURSOR() {
    SilenceForDestruction();
    FreeColBindings();
    delete[] rowStatus_;
    rowStatus_ = nullptr;
}

size_t odbcCURSOR::ColumnWidth(const sCOLBIND& b) {
    if (odbcIsLongType(b.fSqlType)) return sizeof(odbcBLOB*);
    return b.cbValueMax > 0 ? static_cast<size_t>(b.cbValueMax) : 0;
}

// --- statement overrides ----------------------------------------------------------------------

const unsigned char* odbcCURSOR::SetStmt(const char* text) {
    return SetStmt(reinterpret_cast<const unsigned char*>(text));
}

const unsigned char* odbcCURSOR::SetStmt(const unsigned char* text) {
    freshResult_ = 0;
    return odbcSTMT::SetStmt(text);
}

short odbcCURSOR::ResetParams() {
    odbcSTMT::ResetParams();
    dataAtExec_ = 0;
    return lastRC();
}

short odbcCURSOR::BindAfterExecute() {
    if (autoBind_) return AutoBind(nullptr, nullptr);
    return BindCol();
}

short odbcCURSOR::Prepare() {
    return odbcSTMT::Prepare();
}

short odbcCURSOR::Prepare(const char* text) {
    return Prepare(reinterpret_cast<const unsigned char*>(text));
}

short odbcCURSOR::Prepare(const unsigned char* text) {
    odbcSTMT::Prepare(text);
    if (sqlsuccess()) BindAfterExecute();
    return lastRC();
}

short odbcCURSOR::SendDataAtExecution() {
    void* token = nullptr;
    ParamData(&token);
    while (lastRC() == SQL_NEED_DATA) {
        odbcBLOB* blob = static_cast<odbcBLOB*>(token);
        if (!blob) {
            SetRC(ODBC_RC_BAD_PARAMETER);
            break;
        }
        blob->PutData(nullptr, 0);
        if (!sqlsuccess()) break;
        ParamData(&token);
    }
    if (sqlsuccess()) SetExecutedFlag(1);
    return lastRC();
}

short odbcCURSOR::ExecDirect(const char* text) {
    return ExecDirect(reinterpret_cast<const unsigned char*>(text));
}

short odbcCURSOR::ExecDirect(const unsigned char* text) {
    return ExecDirect(text, SQL_NTS);
}

short odbcCURSOR::ExecDirect(const unsigned char* text, SQLINTEGER length) {
    odbcSTMT::ExecDirect(text, length);
    if (lastRC() == SQL_NEED_DATA && dataAtExec_) {
        SendDataAtExecution();
    } else if (sqlsuccess()) {
        BindAfterExecute();
    }
    if (sqlsuccess()) freshResult_ = 1;
    return lastRC();
}

short odbcCURSOR::Execute() {
    odbcSTMT::Execute();
    if (lastRC() == SQL_NEED_DATA && dataAtExec_) {
        SendDataAtExecution();
    } else if (sqlsuccess()) {
        freshResult_ = 1;
    }
    return lastRC();
}

short odbcCURSOR::SetParam(const sPARMBIND* parms, unsigned short count, void* record) {
    lastParm_ = 0;
    if (count == 0 || !parms) return lastRC();
    odbcCONNECT* conn = GetConnect();
    bool bindParameter = conn && conn->GetFunctions(SQL_API_SQLBINDPARAMETER) != 0;
    SetParmBindings(parms, count, record);
    for (; lastParm_ < count; ++lastParm_) {
        const sPARMBIND& p = parms[lastParm_];
        void* value = ParmValueAddress(p);
        if (odbcIsLongType(p.fSqlType)) {
            odbcBLOB* blob = nullptr;
            if (value) std::memcpy(&blob, value, sizeof blob);
            if (!blob) continue;  // nothing to bind for this parameter
            blob->SetPutCursor(this);
            blob->BindParameter();
        } else {
            BindParmRecord(p, value, bindParameter, true);
        }
        if (!sqlsuccess()) return lastRC();
    }
    return lastRC();
}

short odbcCURSOR::SetParam(unsigned short ipar, short cType, short sqlType, SQLULEN colDef, short scale, void* value,
                           SQLLEN* length) {
    return odbcSTMT::SetParam(ipar, cType, sqlType, colDef, scale, value, length);
}

// --- bindings ---------------------------------------------------------------------------------

void odbcCURSOR::FreeColBindings() {
    // The driver must not keep addresses of buffers freed here.
    if ((colsBound_ || boundRows_ >= 0) && GetHstmt() != SQL_NULL_HSTMT) SQLFreeStmt(GetHstmt(), SQL_UNBIND);
    boundRows_ = -1;
    for (odbcBLOB* blob : blobs_) delete blob;
    blobs_.clear();
    if (ownsBindings_) {
        delete[] cols_;
        delete[] static_cast<unsigned char*>(record_);
    }
    delete[] rowsetLengths_;
    rowsetLengths_ = nullptr;
    colCount_ = 0;
    recordSize_ = 0;
    cols_ = nullptr;
    colsBound_ = 0;
    record_ = nullptr;
    ownsBindings_ = 0;
}

void odbcCURSOR::SetColBindings(sCOLBIND* cols, unsigned short count, void* record) {
    cols_ = cols;
    colCount_ = count;
    record_ = record;
}

void odbcCURSOR::GetColBindings(sCOLBIND** cols, unsigned short* count, void** record) const {
    if (cols) *cols = cols_;
    if (count) *count = colCount_;
    if (record) *record = record_;
}

short odbcCURSOR::BindCol() {
    if (cols_ && colCount_ && record_ && !colsBound_) BindCol(cols_, colCount_, record_);
    return lastRC();
}

short odbcCURSOR::BindCol(unsigned short icol, short cType, void* value, SQLLEN valueMax, SQLLEN* length) {
    SetRC(SQLBindCol(GetHstmt(), icol, cType, value, valueMax, length));
    if (sqlsuccess()) colsBound_ = 1;
    return lastRC();
}

short odbcCURSOR::BindCol(sCOLBIND* cols, unsigned short count, void* record) {
    if (!cols || !record) {
        SetRC(ODBC_RC_BAD_PARAMETER);
        return lastRC();
    }
    cols_ = cols;
    colCount_ = count;
    record_ = record;
    // Columns of an earlier binding must not stay bound to the buffers freed below.
    if (boundRows_ >= 0 && GetHstmt() != SQL_NULL_HSTMT) SQLFreeStmt(GetHstmt(), SQL_UNBIND);
    boundRows_ = -1;
    for (odbcBLOB* blob : blobs_) delete blob;
    blobs_.clear();
    delete[] rowsetLengths_;
    rowsetLengths_ = nullptr;
    if (rowsetSize_) {
        rowsetLengths_ = new (std::nothrow) SQLLEN[static_cast<size_t>(rowsetSize_) * count]();
        if (!rowsetLengths_) {
            SetRC(ODBC_RC_MEMORY);
            return lastRC();
        }
    }
    SetRC(SQL_SUCCESS);
    // The SQLite driver cannot position inside a rowset for SQLGetData: long columns in a
    // rowset of several rows would read other rows' values. Refused rather than misread.
    if (rowsetSize_ > 1 && GetConnect() && GetConnect()->IsSQLiteDriver()) {
        for (unsigned short i = 0; i < count; ++i) {
            if (odbcIsLongType(cols[i].fSqlType)) {
                lastCol_ = i;
                SetRC(ODBC_RC_NOT_EXTFETCH);
                return lastRC();
            }
        }
    }
    unsigned char* base = static_cast<unsigned char*>(record);
    size_t rows = rowsetSize_ ? rowsetSize_ : 1;
    boundRows_ = rowsetSize_;
    for (lastCol_ = 0; lastCol_ < count; ++lastCol_) {
        sCOLBIND& b = cols[lastCol_];
        if (odbcIsLongType(b.fSqlType)) {
            for (size_t r = 0; r < rows; ++r) {
                odbcBLOB* blob = new (std::nothrow) odbcBLOB(this, b.icol, static_cast<unsigned long>(b.cbValueMax),
                                                             b.fSqlType, 0, ODBC_PUT_CHUNK, ODBC_GET_CHUNK);
                if (!blob) {
                    SetRC(ODBC_RC_MEMORY);
                    return lastRC();
                }
                blobs_.push_back(blob);
                std::memcpy(base + b.valueOffset + r * sizeof blob, &blob, sizeof blob);
            }
            continue;
        }
        unsigned char* value = base + b.valueOffset;
        if (b.isPointer) std::memcpy(&value, base + b.valueOffset, sizeof value);
        SQLLEN* length = rowsetSize_ ? rowsetLengths_ + lastCol_ * rowsetSize_ : &b.cbValue;
        BindCol(b.icol, b.fCType, value, b.cbValueMax, length);
        if (lastRC() != SQL_SUCCESS) return lastRC();
    }
    if (sqlsuccess()) colsBound_ = 1;
    return lastRC();
}

short odbcCURSOR::AutoBind(size_t* recordSize, void** record) {
    if (recordSize) *recordSize = 0;
    if (record) *record = nullptr;
    FreeColBindings();
    SQLSMALLINT count = 0;
    NumResultCols(&count);
    if (!sqlsuccess() || count <= 0) return lastRC();

    sCOLBIND* cols = new (std::nothrow) sCOLBIND[count]();
    if (!cols) {
        SetRC(ODBC_RC_MEMORY);
        return lastRC();
    }
    size_t rows = rowsetSize_ ? rowsetSize_ : 1;
    size_t size = 0;
    // The SQLite driver describes BLOB columns as 255-byte binary whatever they hold.
    const bool sqlite = GetConnect() && GetConnect()->IsSQLiteDriver();
    for (SQLSMALLINT i = 0; i < count; ++i) {
        sCOLBIND& b = cols[i];
        b.icol = static_cast<unsigned short>(i + 1);
        SQLSMALLINT nameLen = 0;
        SQLULEN precision = 0;
        DescribeCol(b.icol, b.szColName, sizeof b.szColName, &nameLen, &b.fSqlType, &precision, &b.ibScale,
                    &b.fNullable);
        if (!sqlsuccess()) {
            delete[] cols;
            return lastRC();
        }
        b.szColName[sizeof b.szColName - 1] = 0;
        b.isPointer = 0;
        b.szColExtra = nullptr;
        // Wide and ODBC 3 date types are bound as their ODBC 2 counterparts.
        switch (b.fSqlType) {
            case SQL_WCHAR:
                b.fSqlType = SQL_CHAR;
                break;
            case SQL_WVARCHAR:
                b.fSqlType = SQL_VARCHAR;
                break;
            case SQL_WLONGVARCHAR:
                b.fSqlType = SQL_LONGVARCHAR;
                break;
            case SQL_TYPE_DATE:
                b.fSqlType = SQL_DATE;
                break;
            case SQL_TYPE_TIME:
                b.fSqlType = SQL_TIME;
                break;
            case SQL_TYPE_TIMESTAMP:
                b.fSqlType = SQL_TIMESTAMP;
                break;
            default:
                break;
        }
        size_t width = 0;
        switch (b.fSqlType) {
            case SQL_NUMERIC:
            case SQL_DECIMAL:
            case SQL_FLOAT:
            case SQL_DOUBLE:
                b.fCType = SQL_C_DOUBLE;
                width = 8;
                break;
            case SQL_INTEGER:
                // SQLite integers hold 64 bits whatever the declaration; a 32-bit buffer would
                // silently wrap them.
                if (sqlite) {
                    b.fCType = SQL_C_SBIGINT;
                    width = 8;
                } else {
                    b.fCType = SQL_C_LONG;
                    width = 4;
                }
                break;
            case SQL_SMALLINT:
                b.fCType = SQL_C_SHORT;
                width = 2;
                break;
            case SQL_REAL:
                b.fCType = SQL_C_FLOAT;
                width = 4;
                break;
            case SQL_DATE:
                b.fCType = SQL_C_DATE;
                width = 6;
                break;
            case SQL_TIME:
                b.fCType = SQL_C_TIME;
                width = 6;
                break;
            case SQL_TIMESTAMP:
                b.fCType = SQL_C_TIMESTAMP;
                width = 16;
                break;
            case SQL_BIT:
                b.fCType = SQL_C_BIT;
                width = 1;
                break;
            case SQL_TINYINT:
                b.fCType = SQL_C_TINYINT;
                width = 1;
                break;
            case SQL_CHAR:
            case SQL_VARCHAR:
            case SQL_BIGINT:
                b.fCType = SQL_C_CHAR;
                // Wider or unsized text is read whole as long data instead of being cut.
                if (precision == 0 || precision > ODBC_AUTOBIND_CAP) {
                    b.fSqlType = SQL_LONGVARCHAR;
                } else {
                    width = precision + (noExtraByte_ ? 0 : 1);
                }
                break;
            case SQL_LONGVARCHAR:
                b.fCType = SQL_C_CHAR;
                break;
            case SQL_LONGVARBINARY:
                b.fCType = SQL_C_BINARY;
                break;
            default:
                b.fCType = SQL_C_BINARY;
                if (precision == 0 || precision > ODBC_AUTOBIND_CAP ||
                    (sqlite && (b.fSqlType == SQL_BINARY || b.fSqlType == SQL_VARBINARY)))
                    b.fSqlType = SQL_LONGVARBINARY;
                else
                    width = precision;
                break;
        }
        if (odbcIsLongType(b.fSqlType)) {
            b.cbValueMax = static_cast<SQLLEN>(precision);
            width = sizeof(odbcBLOB*);
        } else {
            b.cbValueMax = static_cast<SQLLEN>(width);
        }
        size = (size + kColumnAlignment - 1) / kColumnAlignment * kColumnAlignment;
        b.valueOffset = static_cast<uint32_t>(size);
        size += width * rows;
        if (size > UINT32_MAX) {
            delete[] cols;
            SetRC(ODBC_RC_BUFFER_TOO_SMALL);
            return lastRC();
        }
    }
    unsigned char* buffer = new (std::nothrow) unsigned char[size ? size : 1]();
    if (!buffer) {
        delete[] cols;
        SetRC(ODBC_RC_MEMORY);
        return lastRC();
    }
    cols_ = cols;
    colCount_ = static_cast<unsigned short>(count);
    record_ = buffer;
    recordSize_ = size;
    ownsBindings_ = 1;  // freed by FreeColBindings from here on
    BindCol();
    if (!sqlsuccess()) {
        FreeColBindings();
        return lastRC();
    }
    autoBind_ = 0;
    if (recordSize) *recordSize = recordSize_;
    if (record) *record = record_;
    return lastRC();
}

short odbcCURSOR::Unbind() {
    SetRC(SQLFreeStmt(GetHstmt(), SQL_UNBIND));
    if (sqlsuccess()) FreeColBindings();
    return lastRC();
}

// --- fetching ---------------------------------------------------------------------------------

short odbcCURSOR::ReadLongColumns(unsigned short row) {
    for (unsigned short i = 0; i < colCount_; ++i) {
        sCOLBIND& b = cols_[i];
        if (odbcIsLongType(b.fSqlType)) {
            odbcBLOB* blob = row ? ColResultAsBLOB(b.icol, row) : ColResultAsBLOB(b.icol);
            if (blob) {
                blob->GetData();
                if (lastRC() == SQL_NO_DATA_FOUND) SetRC(SQL_SUCCESS);
                // A later column's success must not hide this one's failure.
                if (!sqlsuccess()) return lastRC();
            }
        } else {
            SQLLEN* length = LengthAddress(&b, row ? row : 1);
            if (length && *length == SQL_NULL_DATA) {
                unsigned char* value = ValueAddress(&b, row);
                if (value) std::memset(value, 0, ColumnWidth(b));
            }
        }
    }
    return lastRC();
}

short odbcCURSOR::Fetch() {
    SetRC(SQLFetch(GetHstmt()));
    if (sqlsuccess() && cols_ && record_) ReadLongColumns(0);
    return lastRC();
}

short odbcCURSOR::EnumResults(odbcResultCallback callback, void* context) {
    Fetch();
    while (sqlsuccess()) {
        short r = callback ? callback(this, context) : 0;
        if (r) return r;
        Fetch();
    }
    return lastRC();
}

int odbcCURSOR::DoQuery() {
    return DoStmt();
}

int odbcCURSOR::QueryAndBind() {
    if (DoQuery()) {
        BindCol(cols_, colCount_, record_);
        if (!sqlsuccess()) return 0;
        freshResult_ = 1;
    }
    return ErrorFlag() ? 0 : 1;
}

int odbcCURSOR::GetFirst() {
    if (!rowsetSize_ && !freshResult_) return 0;
    freshResult_ = 0;
    if (rowsetSize_) {
        ExtFetchFirst();
    } else {
        Fetch();
    }
    return sqlsuccess();
}

int odbcCURSOR::GetNext() {
    if (freshResult_ && !rowsetSize_) return 0;
    if (rowsetSize_)
        ExtFetchNext();
    else
        Fetch();
    return sqlsuccess();
}

int odbcCURSOR::GetLast() {
    if (!rowsetSize_) return 0;
    ExtFetchLast();
    return sqlsuccess();
}

int odbcCURSOR::GetPrev() {
    if (!rowsetSize_) return 0;
    ExtFetchPrevious();
    return sqlsuccess();
}

// --- driver wrappers --------------------------------------------------------------------------

short odbcCURSOR::DescribeCol(unsigned short icol, char* name, short nameMax, short* nameLen, short* sqlType,
                              SQLULEN* colDef, short* scale, short* nullable) {
    return DescribeCol(icol, U(name), nameMax, nameLen, sqlType, colDef, scale, nullable);
}

short odbcCURSOR::DescribeCol(unsigned short icol, unsigned char* name, short nameMax, short* nameLen, short* sqlType,
                              SQLULEN* colDef, short* scale, short* nullable) {
    SetRC(SQLDescribeCol(GetHstmt(), icol, name, nameMax, nameLen, sqlType, colDef, scale, nullable));
    return lastRC();
}

short odbcCURSOR::ColAttributes(unsigned short icol, unsigned short descType, void* desc, short descMax, short* descLen,
                                SQLLEN* numeric) {
    SetRC(SQLColAttributes(GetHstmt(), icol, descType, desc, descMax, descLen, numeric));
    return lastRC();
}

short odbcCURSOR::GetCursorName(char* name, short max, short* length) {
    return GetCursorName(U(name), max, length);
}

short odbcCURSOR::GetCursorName(unsigned char* name, short max, short* length) {
    SQLSMALLINT local = 0;
    SetRC(SQLGetCursorName(GetHstmt(), name, max, length ? length : &local));
    return lastRC();
}

short odbcCURSOR::SetCursorName(char* name) {
    return SetCursorName(U(name));
}

short odbcCURSOR::SetCursorName(unsigned char* name) {
    SetRC(SQLSetCursorName(GetHstmt(), name, SQL_NTS));
    return lastRC();
}

short odbcCURSOR::NumResultCols(short* count) {
    SetRC(SQLNumResultCols(GetHstmt(), count));
    return lastRC();
}

short odbcCURSOR::NumResultCols() {
    SQLSMALLINT count = 0;
    NumResultCols(&count);
    return sqlsuccess() ? count : 0;
}

short odbcCURSOR::GetData(unsigned short icol, short cType, void* buffer, SQLLEN max, SQLLEN* length) {
    SetRC(SQLGetData(GetHstmt(), icol, cType, buffer, max, length));
    return lastRC();
}

short odbcCURSOR::SetPos(unsigned short row, unsigned short option, unsigned short lock) {
    SetRC(SQLSetPos(GetHstmt(), row, option, lock));
    return lastRC();
}

short odbcCURSOR::SetScrollOptions(unsigned short concurrency, SQLLEN keyset, unsigned short rowset) {
    SetRC(SQLSetScrollOptions(GetHstmt(), concurrency, keyset, rowset));
    return lastRC();
}

short odbcCURSOR::MoreResults() {
    SetRC(SQLMoreResults(GetHstmt()));
    return lastRC();
}

// --- catalog calls ----------------------------------------------------------------------------

short odbcCURSOR::Columns(char* q, char* o, char* t, char* c) {
    return Columns(U(q), U(o), U(t), U(c));
}
short odbcCURSOR::Columns(unsigned char* q, unsigned char* o, unsigned char* t, unsigned char* c) {
    SetRC(SQLColumns(GetHstmt(), q, SQL_NTS, o, SQL_NTS, t, SQL_NTS, c, SQL_NTS));
    return lastRC();
}
short odbcCURSOR::ColumnPrivileges(char* q, char* o, char* t, char* c) {
    return ColumnPrivileges(U(q), U(o), U(t), U(c));
}
short odbcCURSOR::ColumnPrivileges(unsigned char* q, unsigned char* o, unsigned char* t, unsigned char* c) {
    SetRC(SQLColumnPrivileges(GetHstmt(), q, SQL_NTS, o, SQL_NTS, t, SQL_NTS, c, SQL_NTS));
    return lastRC();
}
short odbcCURSOR::Procedures(char* q, char* o, char* p) {
    return Procedures(U(q), U(o), U(p));
}
short odbcCURSOR::Procedures(unsigned char* q, unsigned char* o, unsigned char* p) {
    SetRC(SQLProcedures(GetHstmt(), q, SQL_NTS, o, SQL_NTS, p, SQL_NTS));
    return lastRC();
}
short odbcCURSOR::ProcedureColumns(char* q, char* o, char* p, char* c) {
    return ProcedureColumns(U(q), U(o), U(p), U(c));
}
short odbcCURSOR::ProcedureColumns(unsigned char* q, unsigned char* o, unsigned char* p, unsigned char* c) {
    SetRC(SQLProcedureColumns(GetHstmt(), q, SQL_NTS, o, SQL_NTS, p, SQL_NTS, c, SQL_NTS));
    return lastRC();
}
short odbcCURSOR::Statistics(char* q, char* o, char* t, unsigned short unique, unsigned short accuracy) {
    return Statistics(U(q), U(o), U(t), unique, accuracy);
}
short odbcCURSOR::Statistics(unsigned char* q, unsigned char* o, unsigned char* t, unsigned short unique,
                             unsigned short accuracy) {
    SetRC(SQLStatistics(GetHstmt(), q, SQL_NTS, o, SQL_NTS, t, SQL_NTS, unique, accuracy));
    return lastRC();
}
short odbcCURSOR::GetTypeInfo(short sqlType) {
    SetRC(SQLGetTypeInfo(GetHstmt(), sqlType));
    return lastRC();
}
short odbcCURSOR::Tables(char* q, char* o, char* t, char* type) {
    return Tables(U(q), U(o), U(t), U(type));
}
short odbcCURSOR::Tables(unsigned char* q, unsigned char* o, unsigned char* t, unsigned char* type) {
    SetRC(SQLTables(GetHstmt(), q, SQL_NTS, o, SQL_NTS, t, SQL_NTS, type, SQL_NTS));
    return lastRC();
}
short odbcCURSOR::ForeignKeys(char* pq, char* po, char* pt, char* fq, char* fo, char* ft) {
    return ForeignKeys(U(pq), U(po), U(pt), U(fq), U(fo), U(ft));
}
short odbcCURSOR::ForeignKeys(unsigned char* pq, unsigned char* po, unsigned char* pt, unsigned char* fq,
                              unsigned char* fo, unsigned char* ft) {
    SetRC(SQLForeignKeys(GetHstmt(), pq, SQL_NTS, po, SQL_NTS, pt, SQL_NTS, fq, SQL_NTS, fo, SQL_NTS, ft, SQL_NTS));
    return lastRC();
}
short odbcCURSOR::TablePrivileges(char* q, char* o, char* t) {
    return TablePrivileges(U(q), U(o), U(t));
}
short odbcCURSOR::TablePrivileges(unsigned char* q, unsigned char* o, unsigned char* t) {
    SetRC(SQLTablePrivileges(GetHstmt(), q, SQL_NTS, o, SQL_NTS, t, SQL_NTS));
    return lastRC();
}
short odbcCURSOR::PrimaryKeys(char* q, char* o, char* t) {
    return PrimaryKeys(U(q), U(o), U(t));
}
short odbcCURSOR::PrimaryKeys(unsigned char* q, unsigned char* o, unsigned char* t) {
    SetRC(SQLPrimaryKeys(GetHstmt(), q, SQL_NTS, o, SQL_NTS, t, SQL_NTS));
    return lastRC();
}
short odbcCURSOR::SpecialColumns(unsigned short colType, char* q, char* o, char* t, unsigned short scope,
                                 unsigned short nullable) {
    return SpecialColumns(colType, U(q), U(o), U(t), scope, nullable);
}
short odbcCURSOR::SpecialColumns(unsigned short colType, unsigned char* q, unsigned char* o, unsigned char* t,
                                 unsigned short scope, unsigned short nullable) {
    SetRC(SQLSpecialColumns(GetHstmt(), colType, q, SQL_NTS, o, SQL_NTS, t, SQL_NTS, scope, nullable));
    return lastRC();
}

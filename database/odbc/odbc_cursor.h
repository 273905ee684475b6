// A statement that produces a result set: column binding (the caller's or automatic),
// single-row and rowset fetching, long columns as odbcBLOB objects, catalog calls, column
// access and positioned row operations.
#pragma once

#include "database/odbc/odbc_stmt.h"

#include <cstddef>
#include <string>
#include <vector>

using odbcResultCallback = short (*)(odbcCURSOR* cursor, void* context);

// Widest character or binary column AutoBind binds directly; wider ones are read as long data.
inline constexpr unsigned long ODBC_AUTOBIND_CAP = 4096;
inline constexpr long ODBC_PUT_CHUNK = 65536;
inline constexpr long ODBC_GET_CHUNK = 32768;
// Bytes per GetData call of GetDataAsText, its terminator included.
inline constexpr long ODBC_TEXT_PIECE = 8192;

inline bool odbcIsLongType(short sqlType) {
    return sqlType == SQL_LONGVARCHAR || sqlType == SQL_LONGVARBINARY;
}

class odbcCURSOR : public odbcSTMT {
public:
    odbcCURSOR(odbcCONNECT* conn, unsigned char* text, int prepare, int execute, int autoBind, sPARMBIND* parms,
               unsigned short parmCount, void* parmRecord, sCOLBIND* cols, unsigned short colCount, void* record);
    odbcCURSOR(odbcCONNECT* conn, char* text, int prepare, int execute, int autoBind, sPARMBIND* parms,
               unsigned short parmCount, void* parmRecord, sCOLBIND* cols, unsigned short colCount, void* record);
    ~odbcCURSOR() override;

    // Overrides of the statement.
    const unsigned char* SetStmt(const char* text) override;
    const unsigned char* SetStmt(const unsigned char* text) override;
    short ResetParams() override;
    short Prepare() override;
    short Prepare(const char* text) override;
    short Prepare(const unsigned char* text) override;
    short ExecDirect(const char* text) override;
    short ExecDirect(const unsigned char* text) override;
    short ExecDirect(const unsigned char* text, SQLINTEGER length) override;
    short Execute() override;
    short SetParam(const sPARMBIND* parms, unsigned short count, void* record) override;
    short SetParam(unsigned short ipar, short cType, short sqlType, SQLULEN colDef, short scale, void* value,
                   SQLLEN* length) override;

    // Binding.
    virtual void FreeColBindings();
    virtual void SetColBindings(sCOLBIND* cols, unsigned short count, void* record);
    virtual void GetColBindings(sCOLBIND** cols, unsigned short* count, void** record) const;
    virtual void SetNoExtraByteOnStrings(int flag) { noExtraByte_ = flag; }
    virtual unsigned short LastColProcessed() const { return lastCol_; }
    virtual short BindCol();
    virtual short BindCol(sCOLBIND* cols, unsigned short count, void* record);
    virtual short BindCol(unsigned short icol, short cType, void* value, SQLLEN valueMax, SQLLEN* length);
    virtual short DescribeCol(unsigned short icol, char* name, short nameMax, short* nameLen, short* sqlType,
                              SQLULEN* colDef, short* scale, short* nullable);
    virtual short DescribeCol(unsigned short icol, unsigned char* name, short nameMax, short* nameLen, short* sqlType,
                              SQLULEN* colDef, short* scale, short* nullable);
    virtual short ColAttributes(unsigned short icol, unsigned short descType, void* desc, short descMax, short* descLen,
                                SQLLEN* numeric);
    virtual short Fetch();
    virtual short GetCursorName(char* name, short max, short* length);
    virtual short GetCursorName(unsigned char* name, short max, short* length);
    virtual short SetCursorName(char* name);
    virtual short SetCursorName(unsigned char* name);
    virtual short NumResultCols();
    virtual short NumResultCols(short* count);
    virtual short Unbind();
    virtual short GetData(unsigned short icol, short cType, void* buffer, SQLLEN max, SQLLEN* length);
    // Column icol of the current row as text, read whole in pieces through GetData, however
    // long it is and whatever size the driver declared for the column. *isNull tells a NULL
    // (the text is then empty). Returns the last GetData's code; SQL_SUCCESS once the value
    // has been read to its end.
    virtual short GetDataAsText(unsigned short icol, std::string* text, bool* isNull);

    // Catalog calls.
    virtual short Columns(char* q, char* o, char* t, char* c);
    virtual short Columns(unsigned char* q, unsigned char* o, unsigned char* t, unsigned char* c);
    virtual short ColumnPrivileges(char* q, char* o, char* t, char* c);
    virtual short ColumnPrivileges(unsigned char* q, unsigned char* o, unsigned char* t, unsigned char* c);
    virtual short Procedures(char* q, char* o, char* p);
    virtual short Procedures(unsigned char* q, unsigned char* o, unsigned char* p);
    virtual short ProcedureColumns(char* q, char* o, char* p, char* c);
    virtual short ProcedureColumns(unsigned char* q, unsigned char* o, unsigned char* p, unsigned char* c);
    virtual short Statistics(char* q, char* o, char* t, unsigned short unique, unsigned short accuracy);
    virtual short Statistics(unsigned char* q, unsigned char* o, unsigned char* t, unsigned short unique,
                             unsigned short accuracy);
    virtual short GetTypeInfo(short sqlType);
    virtual short Tables(char* q, char* o, char* t, char* type);
    virtual short Tables(unsigned char* q, unsigned char* o, unsigned char* t, unsigned char* type);
    virtual short ForeignKeys(char* pq, char* po, char* pt, char* fq, char* fo, char* ft);
    virtual short ForeignKeys(unsigned char* pq, unsigned char* po, unsigned char* pt, unsigned char* fq,
                              unsigned char* fo, unsigned char* ft);
    virtual short TablePrivileges(char* q, char* o, char* t);
    virtual short TablePrivileges(unsigned char* q, unsigned char* o, unsigned char* t);
    virtual short PrimaryKeys(char* q, char* o, char* t);
    virtual short PrimaryKeys(unsigned char* q, unsigned char* o, unsigned char* t);
    virtual short SpecialColumns(unsigned short colType, char* q, char* o, char* t, unsigned short scope,
                                 unsigned short nullable);
    virtual short SpecialColumns(unsigned short colType, unsigned char* q, unsigned char* o, unsigned char* t,
                                 unsigned short scope, unsigned short nullable);

    virtual short SetPos(unsigned short row, unsigned short option, unsigned short lock);
    virtual short SetScrollOptions(unsigned short concurrency, SQLLEN keyset, unsigned short rowset);
    virtual int DoQuery();
    virtual void* pResultSet() const { return record_; }
    virtual int QueryAndBind();
    virtual int GetFirst();
    virtual int GetNext();
    virtual int GetLast();
    virtual int GetPrev();
    virtual short EnumResults(odbcResultCallback callback, void* context);
    virtual short ExtendedFetch(unsigned short fetchType, SQLLEN row, SQLULEN* rowsFetched, unsigned short* rowStatus);
    virtual short ExtFetchSetup(unsigned short concurrency, SQLLEN cursorType, unsigned short rowsetSize);
    virtual SQLULEN ExtFetchFirst();
    virtual SQLULEN ExtFetchNext();
    virtual SQLULEN ExtFetchLast();
    virtual SQLULEN ExtFetchPrevious();
    virtual SQLULEN ExtFetchRelative(SQLLEN n);
    virtual SQLULEN ExtFetchAbsolute(SQLLEN n);
    virtual SQLULEN ExtFetchResume();
    virtual unsigned short GetExtFetchType() const { return fetchType_; }
    virtual SQLULEN GetExtFetchRow() const { return rowsFetched_; }
    virtual SQLLEN GetExtFetchRelAbsRow() const { return fetchOffset_; }
    virtual unsigned short GetExtFetchRowCount() const { return rowsetSize_; }
    virtual unsigned short* GetExtFetchStatus() const { return rowStatus_; }
    virtual unsigned short GetExtFetchStatus(unsigned short row) const;
    virtual short MoreResults();
    virtual short AutoBind(size_t* recordSize, void** record);

    // Column access. Rows count from 1 and exist only in rowset mode. The typed reads take
    // the bound bytes as they are, except that 64-bit integer bindings (AutoBind's choice for
    // SQLite integers) are read whole and converted.
    virtual void* ColResultAddr(unsigned short icol, unsigned short row);
    virtual void* ColResultAddr(const char* name, unsigned short row);
    virtual void* ColResultAddr(const unsigned char* name, unsigned short row);
    virtual void* ColResultAddr(unsigned short icol);
    virtual void* ColResultAddr(const char* name);
    virtual void* ColResultAddr(const unsigned char* name);

#define TS_ODBC_TYPED_ACCESSOR(Name, Type)                            \
    virtual Type Name(unsigned short icol);                           \
    virtual Type Name(const unsigned char* name);                     \
    virtual Type Name(const char* name);                              \
    virtual Type Name(unsigned short icol, unsigned short row);       \
    virtual Type Name(const unsigned char* name, unsigned short row); \
    virtual Type Name(const char* name, unsigned short row);
    TS_ODBC_TYPED_ACCESSOR(ColResultAsShort, short)
    TS_ODBC_TYPED_ACCESSOR(ColResultAsUnsignedShort, unsigned short)
    TS_ODBC_TYPED_ACCESSOR(ColResultAsLong, long)
    TS_ODBC_TYPED_ACCESSOR(ColResultAsUnsignedLong, unsigned long)
    TS_ODBC_TYPED_ACCESSOR(ColResultAsFloat, float)
    TS_ODBC_TYPED_ACCESSOR(ColResultAsDouble, double)
    TS_ODBC_TYPED_ACCESSOR(ColResultAsLPSTR, char*)
#undef TS_ODBC_TYPED_ACCESSOR

    virtual SQLLEN* ColResultSizeArray(unsigned short icol);
    virtual SQLLEN* ColResultSizeArray(const char* name);
    virtual SQLLEN* ColResultSizeArray(const unsigned char* name);
    virtual sCOLBIND* ColResultInfo(unsigned short icol);
    virtual sCOLBIND* ColResultInfo(const char* name);
    virtual sCOLBIND* ColResultInfo(const unsigned char* name);
    virtual size_t StructSize() const {
        return recordSize_;
    }
    virtual size_t RowsetRowRecordSize() const;
    virtual short MoveRowsetRowToRecord(unsigned short row, void* record, size_t size, size_t* used);
    virtual short MoveRecordToRowsetRow(unsigned short row, const void* record, size_t size, size_t* used);
    virtual int GetNoExtraByteOnStrings() const {
        return noExtraByte_;
    }
    virtual odbcBLOB* ColResultAsBLOB(unsigned short icol);
    virtual odbcBLOB* ColResultAsBLOB(const unsigned char* name);
    virtual odbcBLOB* ColResultAsBLOB(const char* name);
    virtual odbcBLOB* ColResultAsBLOB(unsigned short icol, unsigned short row);
    virtual odbcBLOB* ColResultAsBLOB(const unsigned char* name, unsigned short row);
    virtual odbcBLOB* ColResultAsBLOB(const char* name, unsigned short row);
    virtual short PositionToRow(unsigned short row);
    virtual short LockRow(unsigned short row, unsigned short lock);
    virtual short RefreshRow(unsigned short row, unsigned short lock);
    virtual short AddRow(unsigned short row);
    virtual short UpdateRow(unsigned short row);
    virtual short DeleteRow(unsigned short row);
    virtual short ClearRowsetBuffer();
    virtual bool IsColValueNull(unsigned short icol, unsigned short row);
    virtual bool IsColValueNull(unsigned short icol);
    virtual bool IsColValueNull(const char* name, unsigned short row);
    virtual bool IsColValueNull(const char* name);
    virtual bool IsColValueNull(const unsigned char* name, unsigned short row);
    virtual bool IsColValueNull(const unsigned char* name);
    virtual int SetColValueNull(unsigned short icol, unsigned short row);
    virtual int SetColValueNull(unsigned short icol);
    virtual int SetColValueNull(const char* name, unsigned short row);
    virtual int SetColValueNull(const char* name);
    virtual int SetColValueNull(const unsigned char* name, unsigned short row);
    virtual int SetColValueNull(const unsigned char* name);

    void SetDataAtExecFlag(int flag) {
        dataAtExec_ = flag;
    }
    int DataAtExecFlag() const {
        return dataAtExec_;
    }
    int FreshResult() const {
        return freshResult_;
    }
    // Width of a column in the record: long columns hold an odbcBLOB pointer.
    static size_t ColumnWidth(const sCOLBIND& b);

protected:
    int freshResult_ = 1;

private:
    void Construct(unsigned char* text, int prepare, int execute, int autoBind, sPARMBIND* parms,
                   unsigned short parmCount, void* parmRecord, sCOLBIND* cols, unsigned short count, void* record);
    short BindAfterExecute();
    short ReadLongColumns(unsigned short row);
    short SendDataAtExecution();
    sCOLBIND* FindCol(unsigned short icol) const;
    sCOLBIND* FindCol(const unsigned char* name) const;
    size_t ColIndex(const sCOLBIND* b) const {
        return static_cast<size_t>(b - cols_);
    }
    unsigned char* ValueAddress(const sCOLBIND* b, unsigned short row) const;
    SQLLEN* LengthAddress(const sCOLBIND* b, unsigned short row) const;
    SQLLEN* RowIndicator(const sCOLBIND* b, unsigned short row) const;
    short MoveRow(unsigned short row, unsigned char* packed, size_t size, size_t* used, bool toRecord);
    SQLULEN ExtFetch(unsigned short type, SQLLEN offset);
    short ChainScrollOptions(unsigned short concurrency, SQLLEN cursorType, unsigned short rowsetSize);
    // Bindings made for another rowset size are made again for the current one.
    void RebindForRowset();

    sCOLBIND* cols_ = nullptr;
    SQLLEN* rowsetLengths_ = nullptr;
    unsigned short colCount_ = 0;
    void* record_ = nullptr;
    int colsBound_ = 0;
    // Rowset size the record's bindings were made for; -1 while the record is not bound.
    int boundRows_ = -1;
    int ownsBindings_ = 0;
    int autoBind_ = 0;
    size_t recordSize_ = 0;
    unsigned short lastCol_ = 0;
    int noExtraByte_ = 0;
    unsigned short rowsetSize_ = 0;
    SQLULEN rowsFetched_ = 0;
    SQLLEN fetchOffset_ = 0;
    unsigned short fetchType_ = 0;
    unsigned short* rowStatus_ = nullptr;
    int dataAtExec_ = 0;
    std::vector<odbcBLOB*> blobs_;  // long-data objects made by the binding; owned
};

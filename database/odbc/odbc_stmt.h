// One statement handle on a connection: its text, its parameter bindings and how far it got.
#pragma once

#include "database/odbc/odbc_base.h"
#include "database/odbc/odbc_bind_records.h"

class odbcSTMT : public odbcBASE {
public:
    odbcSTMT(odbcCONNECT* conn, const unsigned char* text, int prepare, int execute, const sPARMBIND* parms,
             unsigned short parmCount, void* parmRecord);
    odbcSTMT(odbcCONNECT* conn, const char* text, int prepare, int execute, const sPARMBIND* parms,
             unsigned short parmCount, void* parmRecord);
    ~odbcSTMT() override;

    short RegisterError() override;

    virtual void SetParmBindings(const sPARMBIND* parms, unsigned short count, void* record);
    virtual unsigned short LastParmProcessed() const { return lastParm_; }
    virtual SQLHSTMT GetHstmt() const { return hstmt_; }
    virtual void GetParmBindings(const sPARMBIND** parms, unsigned short* count, void** record) const;
    virtual const unsigned char* SetStmt(const char* text);
    virtual const unsigned char* SetStmt(const unsigned char* text);
    virtual const unsigned char* GetStmt() const { return text_; }
    virtual SQLULEN GetParmRow() const { return parmRow_; }
    virtual int ErrorFlag() const { return error_; }
    virtual int Prepared() const { return prepared_; }
    virtual int ParmsBound() const { return parmsBound_; }
    virtual int Executed() const { return executed_; }
    virtual short Cancel();
    // Asks the driver to stop what runs on the statement in another thread (SQLCancel on its
    // handle). Safe from any thread while the object lives: nothing of it changes and nothing
    // is reported; the call that runs reports the cancellation as its own failure.
    void CancelRunning() const;
    virtual short Close();
    virtual short ResetParams();
    virtual SQLLEN RowCount();
    virtual short RowCount(SQLLEN* count);
    virtual short Prepare();
    virtual short Prepare(const char* text);
    virtual short Prepare(const unsigned char* text);
    virtual short ExecDirect(const char* text);
    virtual short ExecDirect(const unsigned char* text);
    // The text's length given (SQL_NTS: up to its NUL), for a text that is not cut at a NUL.
    virtual short ExecDirect(const unsigned char* text, SQLINTEGER length);
    virtual short Execute();
    virtual int SetParams();
    virtual short SetParam(const sPARMBIND* parms, unsigned short count, void* record);
    virtual short SetParam(unsigned short ipar, short cType, short sqlType, SQLULEN colDef, short scale, void* value,
                           SQLLEN* length);
    virtual SQLULEN GetStmtOption(unsigned short option);
    virtual short SetStmtOption(unsigned short option, SQLULEN value);
    virtual short ParamData(void** token);
    virtual short PutData(void* data, SQLLEN length);
    virtual short DescribeParam(unsigned short ipar, sPARMBIND* rec);
    virtual short DescribeParam(unsigned short ipar, short* sqlType, SQLULEN* colDef, short* scale, short* nullable);
    virtual short CTypeFromSqlType(short sqlType) const;
    virtual short NumParams();
    virtual short NumParams(short* count);
    virtual short ParamOptions(SQLULEN rows);
    virtual short ParamOptions(SQLULEN rows, SQLULEN* rowOut);
    virtual int DoStmt();
    virtual void* pParmStruct() const { return parmRecord_; }
    virtual short BindParameter(unsigned short ipar, short paramType, short cType, short sqlType, SQLULEN colDef,
                                short scale, void* value, SQLLEN valueMax, SQLLEN* length);

    odbcCONNECT* GetConnect() const { return conn_; }

protected:
    // Construction's statement steps: bind the parameters, prepare, run. Derived classes
    // whose overrides take part call it from their own constructor.
    void PrepareAndRun(int prepare, int execute);
    // Address of a parameter's value: valueAddress for -2, else an offset into the record.
    void* ParmValueAddress(const sPARMBIND& p) const;
    // Binds one record at value, through SQLBindParameter when bindParameter is set. The
    // column size is cbColDef as given when sizeAsGiven, else the precision for the SQL type.
    short BindParmRecord(const sPARMBIND& p, void* value, bool bindParameter, bool sizeAsGiven = false);
    void SetErrorFlag(int flag) { error_ = flag; }
    void SetExecutedFlag(int flag) { executed_ = flag; }
    const sPARMBIND* parms_ = nullptr;
    unsigned short parmCount_ = 0;
    unsigned short lastParm_ = 0;

private:
    friend class odbcCONNECT;
    void Construct(int prepare, int execute);
    // The connection is going away: drop the handle while it still exists and forget it.
    void DetachConnection();
    void ForgetHandle() { hstmt_ = SQL_NULL_HSTMT; }

    odbcCONNECT* conn_;
    SQLHSTMT hstmt_ = SQL_NULL_HSTMT;
    const unsigned char* text_;
    void* parmRecord_ = nullptr;
    int error_ = 0;
    int prepared_ = 0;
    int parmsBound_ = 0;
    int executed_ = 0;
    SQLULEN parmRow_ = 0;
    SQLULEN parmSetCount_ = 0;
};

// Cursors that run one catalog function and walk its rows in a typed record.
#pragma once

#include "database/odbc/odbc_catalog_records.h"
#include "database/odbc/odbc_cursor.h"

class odbcSYSINFOITERATOR : public odbcCURSOR {
public:
    explicit odbcSYSINFOITERATOR(odbcCONNECT* conn);
    ~odbcSYSINFOITERATOR() override;

    int DoQuery() override;
    int GetFirst() override;
    int GetNext() override;
    int GetLast() override;
    int GetPrev() override;

    int Scrollable() const { return scrollable_; }

protected:
    using UChar = unsigned char;
    static UChar* U(char* s) { return reinterpret_cast<UChar*>(s); }
    // Binds a private copy of the shared table to the record and runs the first query.
    void Start(const sCOLBIND* table, unsigned short count, void* record);

private:
    int scrollable_ = 0;
    int justQueried_ = 0;
    sCOLBIND bindings_[16] = {};
};

class odbcTableIterator : public odbcSYSINFOITERATOR {
public:
    odbcTableIterator(odbcCONNECT* conn, char* q, char* o, char* t, char* type)
        : odbcTableIterator(conn, U(q), U(o), U(t), U(type)) {}
    odbcTableIterator(odbcCONNECT* conn, UChar* q, UChar* o, UChar* t, UChar* type);
    ~odbcTableIterator() override = default;
    int DoQuery() override;
    virtual sSQLTABLESRESULTSET* pTablesResultSet() { return &rs_; }

private:
    UChar *q_, *o_, *t_, *type_;
    sSQLTABLESRESULTSET rs_ = {};
};

class odbcColumnIterator : public odbcSYSINFOITERATOR {
public:
    odbcColumnIterator(odbcCONNECT* conn, char* q, char* o, char* t, char* c)
        : odbcColumnIterator(conn, U(q), U(o), U(t), U(c)) {}
    odbcColumnIterator(odbcCONNECT* conn, UChar* q, UChar* o, UChar* t, UChar* c);
    ~odbcColumnIterator() override = default;
    int DoQuery() override;
    virtual sSQLCOLUMNSRESULTSET* pColumnsResultSet() { return &rs_; }

private:
    UChar *q_, *o_, *t_, *c_;
    sSQLCOLUMNSRESULTSET rs_ = {};
};

class odbcStatisticsIterator : public odbcSYSINFOITERATOR {
public:
    odbcStatisticsIterator(odbcCONNECT* conn, char* q, char* o, char* t, unsigned short unique, unsigned short accuracy)
        : odbcStatisticsIterator(conn, U(q), U(o), U(t), unique, accuracy) {}
    odbcStatisticsIterator(odbcCONNECT* conn, UChar* q, UChar* o, UChar* t, unsigned short unique,
                           unsigned short accuracy);
    ~odbcStatisticsIterator() override = default;
    int DoQuery() override;
    virtual sSQLSTATISTICSRESULTSET* pStatisticsResultSet() { return &rs_; }

private:
    UChar *q_, *o_, *t_;
    unsigned short unique_, accuracy_;
    sSQLSTATISTICSRESULTSET rs_ = {};
};

class odbcSpecialColumnIterator : public odbcSYSINFOITERATOR {
public:
    odbcSpecialColumnIterator(odbcCONNECT* conn, unsigned short colType, char* q, char* o, char* t,
                              unsigned short scope, unsigned short nullable)
        : odbcSpecialColumnIterator(conn, colType, U(q), U(o), U(t), scope, nullable) {}
    odbcSpecialColumnIterator(odbcCONNECT* conn, unsigned short colType, UChar* q, UChar* o, UChar* t,
                              unsigned short scope, unsigned short nullable);
    ~odbcSpecialColumnIterator() override = default;
    int DoQuery() override;
    virtual sSQLSPECIALCOLRESULTSET* pSpecialColsResultSet() { return &rs_; }

private:
    unsigned short colType_;
    UChar *q_, *o_, *t_;
    unsigned short scope_, nullable_;
    sSQLSPECIALCOLRESULTSET rs_ = {};
};

class odbcTypeInfoIterator : public odbcSYSINFOITERATOR {
public:
    explicit odbcTypeInfoIterator(odbcCONNECT* conn);
    ~odbcTypeInfoIterator() override = default;
    int DoQuery() override;
    virtual sSQLTYPEINFORESULTSET* pTypeInfoResultSet() { return &rs_; }

private:
    sSQLTYPEINFORESULTSET rs_ = {};
};

class odbcColumnPrivilegesIterator : public odbcSYSINFOITERATOR {
public:
    odbcColumnPrivilegesIterator(odbcCONNECT* conn, char* q, char* o, char* t, char* c)
        : odbcColumnPrivilegesIterator(conn, U(q), U(o), U(t), U(c)) {}
    odbcColumnPrivilegesIterator(odbcCONNECT* conn, UChar* q, UChar* o, UChar* t, UChar* c);
    ~odbcColumnPrivilegesIterator() override = default;
    int DoQuery() override;
    virtual sCOLUMNPRIVILEGESRESULTSET* pColumnPrivilegesResultSet() { return &rs_; }

private:
    UChar *q_, *o_, *t_, *c_;
    sCOLUMNPRIVILEGESRESULTSET rs_ = {};
};

class odbcTablePrivilegesIterator : public odbcSYSINFOITERATOR {
public:
    odbcTablePrivilegesIterator(odbcCONNECT* conn, char* q, char* o, char* t)
        : odbcTablePrivilegesIterator(conn, U(q), U(o), U(t)) {}
    odbcTablePrivilegesIterator(odbcCONNECT* conn, UChar* q, UChar* o, UChar* t);
    ~odbcTablePrivilegesIterator() override = default;
    int DoQuery() override;
    virtual sTABLEPRIVILEGESRESULTSET* pTablePrivilegesResultSet() { return &rs_; }

private:
    UChar *q_, *o_, *t_;
    sTABLEPRIVILEGESRESULTSET rs_ = {};
};

class odbcProceduresIterator : public odbcSYSINFOITERATOR {
public:
    odbcProceduresIterator(odbcCONNECT* conn, char* q, char* o, char* p)
        : odbcProceduresIterator(conn, U(q), U(o), U(p)) {}
    odbcProceduresIterator(odbcCONNECT* conn, UChar* q, UChar* o, UChar* p);
    ~odbcProceduresIterator() override = default;
    int DoQuery() override;
    virtual sPROCEDURESRESULTSET* pProceduresResultSet() { return &rs_; }

private:
    UChar *q_, *o_, *p_;
    sPROCEDURESRESULTSET rs_ = {};
};

class odbcProcedureColumnsIterator : public odbcSYSINFOITERATOR {
public:
    odbcProcedureColumnsIterator(odbcCONNECT* conn, char* q, char* o, char* p, char* c)
        : odbcProcedureColumnsIterator(conn, U(q), U(o), U(p), U(c)) {}
    odbcProcedureColumnsIterator(odbcCONNECT* conn, UChar* q, UChar* o, UChar* p, UChar* c);
    ~odbcProcedureColumnsIterator() override = default;
    int DoQuery() override;
    virtual sPROCEDURECOLUMNSRESULTSET* pProcedureColumnsResultSet() { return &rs_; }

private:
    UChar *q_, *o_, *p_, *c_;
    sPROCEDURECOLUMNSRESULTSET rs_ = {};
};

class odbcPrimaryKeysIterator : public odbcSYSINFOITERATOR {
public:
    odbcPrimaryKeysIterator(odbcCONNECT* conn, char* q, char* o, char* t)
        : odbcPrimaryKeysIterator(conn, U(q), U(o), U(t)) {}
    odbcPrimaryKeysIterator(odbcCONNECT* conn, UChar* q, UChar* o, UChar* t);
    ~odbcPrimaryKeysIterator() override = default;
    int DoQuery() override;
    virtual sPRIMARYKEYSRESULTSET* pPrimaryKeysResultSet() { return &rs_; }

private:
    UChar *q_, *o_, *t_;
    sPRIMARYKEYSRESULTSET rs_ = {};
};

class odbcForeignKeysIterator : public odbcSYSINFOITERATOR {
public:
    odbcForeignKeysIterator(odbcCONNECT* conn, char* pq, char* po, char* pt, char* fq, char* fo, char* ft)
        : odbcForeignKeysIterator(conn, U(pq), U(po), U(pt), U(fq), U(fo), U(ft)) {}
    odbcForeignKeysIterator(odbcCONNECT* conn, UChar* pq, UChar* po, UChar* pt, UChar* fq, UChar* fo, UChar* ft);
    ~odbcForeignKeysIterator() override = default;
    int DoQuery() override;
    virtual sFOREIGNKEYSRESULTSET* pForeignKeysResultSet() { return &rs_; }

private:
    UChar *pq_, *po_, *pt_, *fq_, *fo_, *ft_;
    sFOREIGNKEYSRESULTSET rs_ = {};
};

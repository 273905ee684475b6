#include "database/odbc/odbc_catalog_iterators.h"
#include "database/odbc/odbc_connect.h"
#include "database/odbc/odbc_cursor.h"

#include <functional>
#include <memory>
#include <new>
#include <vector>

namespace {
unsigned char* U(char* s) {
    return reinterpret_cast<unsigned char*>(s);
}

template <typename T, typename... Args>
T* Create(odbcCONNECT* conn, Args... args) {
    return new (std::nothrow) T(conn, args...);
}
}  // namespace

template <typename Record>
short odbcCONNECT::Enumerate(const sCOLBIND* table, unsigned short count, short (*query)(odbcCURSOR&, void* args),
                             void* args, odbcEnumCallback<Record> callback, void* context) {
    std::unique_ptr<odbcCURSOR> cursor(
        AllocCursor(static_cast<unsigned char*>(nullptr), 0, 0, 0, nullptr, 0, nullptr, nullptr, 0, nullptr));
    if (!cursor) {
        SetRC(ODBC_RC_MEMORY);
        return lastRC();
    }
    std::unique_ptr<Record> record(new (std::nothrow) Record{});
    std::vector<sCOLBIND> bindings;
    try {
        bindings.assign(table, table + count);  // the shared table is never bound itself
    } catch (const std::bad_alloc&) {
        record.reset();
    }
    if (!record) {
        SetRC(ODBC_RC_MEMORY);
        return lastRC();
    }
    cursor->BindCol(bindings.data(), count, record.get());
    if (!cursor->sqlsuccess()) return cursor->lastRC();
    query(*cursor, args);
    if (!cursor->sqlsuccess()) return cursor->lastRC();
    cursor->Fetch();
    while (cursor->sqlsuccess()) {
        short r = callback ? callback(*record, context) : 0;
        if (r) return r;
        cursor->Fetch();
    }
    return lastRC();
}

namespace {
struct Args {
    unsigned char *a = nullptr, *b = nullptr, *c = nullptr, *d = nullptr, *e = nullptr, *f = nullptr;
    unsigned short x = 0, y = 0, z = 0;
};
Args* A(void* p) {
    return static_cast<Args*>(p);
}
}  // namespace

short odbcCONNECT::EnumColumns(char* q, char* o, char* t, char* c, odbcEnumCallback<sSQLCOLUMNSRESULTSET> cb,
                               void* ctx) {
    return EnumColumns(U(q), U(o), U(t), U(c), cb, ctx);
}
short odbcCONNECT::EnumColumns(unsigned char* q, unsigned char* o, unsigned char* t, unsigned char* c,
                               odbcEnumCallback<sSQLCOLUMNSRESULTSET> cb, void* ctx) {
    Args args{q, o, t, c};
    return Enumerate<sSQLCOLUMNSRESULTSET>(
        SQLColumnsRSB(), SQLColumnsRSBCount(),
        [](odbcCURSOR& cur, void* p) { return cur.Columns(A(p)->a, A(p)->b, A(p)->c, A(p)->d); }, &args, cb, ctx);
}

short odbcCONNECT::EnumSpecialColumns(unsigned short colType, char* q, char* o, char* t, unsigned short scope,
                                      unsigned short nullable, odbcEnumCallback<sSQLSPECIALCOLRESULTSET> cb,
                                      void* ctx) {
    return EnumSpecialColumns(colType, U(q), U(o), U(t), scope, nullable, cb, ctx);
}
short odbcCONNECT::EnumSpecialColumns(unsigned short colType, unsigned char* q, unsigned char* o, unsigned char* t,
                                      unsigned short scope, unsigned short nullable,
                                      odbcEnumCallback<sSQLSPECIALCOLRESULTSET> cb, void* ctx) {
    Args args{q, o, t};
    args.x = colType;
    args.y = scope;
    args.z = nullable;
    return Enumerate<sSQLSPECIALCOLRESULTSET>(
        SQLSpecialColumnsRSB(), SQLSpecialColumnsRSBCount(),
        [](odbcCURSOR& cur, void* p) {
            return cur.SpecialColumns(A(p)->x, A(p)->a, A(p)->b, A(p)->c, A(p)->y, A(p)->z);
        },
        &args, cb, ctx);
}

short odbcCONNECT::EnumTables(char* q, char* o, char* t, char* type, odbcEnumCallback<sSQLTABLESRESULTSET> cb,
                              void* ctx) {
    return EnumTables(U(q), U(o), U(t), U(type), cb, ctx);
}
short odbcCONNECT::EnumTables(unsigned char* q, unsigned char* o, unsigned char* t, unsigned char* type,
                              odbcEnumCallback<sSQLTABLESRESULTSET> cb, void* ctx) {
    Args args{q, o, t, type};
    return Enumerate<sSQLTABLESRESULTSET>(
        SQLTablesRSB(), SQLTablesRSBCount(),
        [](odbcCURSOR& cur, void* p) { return cur.Tables(A(p)->a, A(p)->b, A(p)->c, A(p)->d); }, &args, cb, ctx);
}

short odbcCONNECT::EnumStatistics(char* q, char* o, char* t, unsigned short unique, unsigned short accuracy,
                                  odbcEnumCallback<sSQLSTATISTICSRESULTSET> cb, void* ctx) {
    return EnumStatistics(U(q), U(o), U(t), unique, accuracy, cb, ctx);
}
short odbcCONNECT::EnumStatistics(unsigned char* q, unsigned char* o, unsigned char* t, unsigned short unique,
                                  unsigned short accuracy, odbcEnumCallback<sSQLSTATISTICSRESULTSET> cb, void* ctx) {
    Args args{q, o, t};
    args.x = unique;
    args.y = accuracy;
    return Enumerate<sSQLSTATISTICSRESULTSET>(
        SQLStatisticsRSB(), SQLStatisticsRSBCount(),
        [](odbcCURSOR& cur, void* p) { return cur.Statistics(A(p)->a, A(p)->b, A(p)->c, A(p)->x, A(p)->y); }, &args, cb,
        ctx);
}

short odbcCONNECT::EnumTypeInfo(odbcEnumCallback<sSQLTYPEINFORESULTSET> cb, void* ctx) {
    Args args;
    return Enumerate<sSQLTYPEINFORESULTSET>(
        SQLTypeInfoRSB(), SQLTypeInfoRSBCount(), [](odbcCURSOR& cur, void*) { return cur.GetTypeInfo(SQL_ALL_TYPES); },
        &args, cb, ctx);
}

short odbcCONNECT::GetTypeInfo(unsigned short sqlType, sSQLTYPEINFORESULTSET& out) {
    std::unique_ptr<odbcCURSOR> cursor(
        AllocCursor(static_cast<unsigned char*>(nullptr), 0, 0, 0, nullptr, 0, nullptr, nullptr, 0, nullptr));
    if (!cursor) {
        SetRC(ODBC_RC_MEMORY);
        return lastRC();
    }
    std::unique_ptr<sSQLTYPEINFORESULTSET> record(new (std::nothrow) sSQLTYPEINFORESULTSET{});
    if (!record) {
        SetRC(ODBC_RC_MEMORY);
        return lastRC();
    }
    std::vector<sCOLBIND> bindings(SQLTypeInfoRSB(), SQLTypeInfoRSB() + SQLTypeInfoRSBCount());
    cursor->BindCol(bindings.data(), static_cast<unsigned short>(bindings.size()), record.get());
    if (!cursor->sqlsuccess()) return cursor->lastRC();
    cursor->GetTypeInfo(static_cast<short>(sqlType));
    if (!cursor->sqlsuccess()) return cursor->lastRC();
    short rc = cursor->Fetch();
    if (odbcSucceeded(rc)) out = *record;
    return rc;
}

short odbcCONNECT::EnumProcedureColumns(char* q, char* o, char* p, char* c,
                                        odbcEnumCallback<sPROCEDURECOLUMNSRESULTSET> cb, void* ctx) {
    return EnumProcedureColumns(U(q), U(o), U(p), U(c), cb, ctx);
}
short odbcCONNECT::EnumProcedureColumns(unsigned char* q, unsigned char* o, unsigned char* p, unsigned char* c,
                                        odbcEnumCallback<sPROCEDURECOLUMNSRESULTSET> cb, void* ctx) {
    Args args{q, o, p, c};
    return Enumerate<sPROCEDURECOLUMNSRESULTSET>(
        SQLProcedureColumnsRSB(), SQLProcedureColumnsRSBCount(),
        [](odbcCURSOR& cur, void* a) { return cur.ProcedureColumns(A(a)->a, A(a)->b, A(a)->c, A(a)->d); }, &args, cb,
        ctx);
}

short odbcCONNECT::EnumColumnPrivileges(char* q, char* o, char* t, char* c,
                                        odbcEnumCallback<sCOLUMNPRIVILEGESRESULTSET> cb, void* ctx) {
    return EnumColumnPrivileges(U(q), U(o), U(t), U(c), cb, ctx);
}
short odbcCONNECT::EnumColumnPrivileges(unsigned char* q, unsigned char* o, unsigned char* t, unsigned char* c,
                                        odbcEnumCallback<sCOLUMNPRIVILEGESRESULTSET> cb, void* ctx) {
    Args args{q, o, t, c};
    return Enumerate<sCOLUMNPRIVILEGESRESULTSET>(
        SQLColumnPrivilegesRSB(), SQLColumnPrivilegesRSBCount(),
        [](odbcCURSOR& cur, void* a) { return cur.ColumnPrivileges(A(a)->a, A(a)->b, A(a)->c, A(a)->d); }, &args, cb,
        ctx);
}

short odbcCONNECT::EnumTablePrivileges(char* q, char* o, char* t, odbcEnumCallback<sTABLEPRIVILEGESRESULTSET> cb,
                                       void* ctx) {
    return EnumTablePrivileges(U(q), U(o), U(t), cb, ctx);
}
short odbcCONNECT::EnumTablePrivileges(unsigned char* q, unsigned char* o, unsigned char* t,
                                       odbcEnumCallback<sTABLEPRIVILEGESRESULTSET> cb, void* ctx) {
    Args args{q, o, t};
    return Enumerate<sTABLEPRIVILEGESRESULTSET>(
        SQLTablePrivilegesRSB(), SQLTablePrivilegesRSBCount(),
        [](odbcCURSOR& cur, void* a) { return cur.TablePrivileges(A(a)->a, A(a)->b, A(a)->c); }, &args, cb, ctx);
}

short odbcCONNECT::EnumProcedures(char* q, char* o, char* p, odbcEnumCallback<sPROCEDURESRESULTSET> cb, void* ctx) {
    return EnumProcedures(U(q), U(o), U(p), cb, ctx);
}
short odbcCONNECT::EnumProcedures(unsigned char* q, unsigned char* o, unsigned char* p,
                                  odbcEnumCallback<sPROCEDURESRESULTSET> cb, void* ctx) {
    Args args{q, o, p};
    return Enumerate<sPROCEDURESRESULTSET>(
        SQLProceduresRSB(), SQLProceduresRSBCount(),
        [](odbcCURSOR& cur, void* a) { return cur.Procedures(A(a)->a, A(a)->b, A(a)->c); }, &args, cb, ctx);
}

short odbcCONNECT::EnumForeignKeys(unsigned char* pq, unsigned char* po, unsigned char* pt, unsigned char* fq,
                                   unsigned char* fo, unsigned char* ft, odbcEnumCallback<sFOREIGNKEYSRESULTSET> cb,
                                   void* ctx) {
    Args args{pq, po, pt, fq, fo, ft};
    return Enumerate<sFOREIGNKEYSRESULTSET>(
        SQLForeignKeysRSB(), SQLForeignKeysRSBCount(),
        [](odbcCURSOR& cur, void* a) { return cur.ForeignKeys(A(a)->a, A(a)->b, A(a)->c, A(a)->d, A(a)->e, A(a)->f); },
        &args, cb, ctx);
}
short odbcCONNECT::ForeignKeys(char* pq, char* po, char* pt, char* fq, char* fo, char* ft,
                               odbcEnumCallback<sFOREIGNKEYSRESULTSET> cb, void* ctx) {
    return EnumForeignKeys(U(pq), U(po), U(pt), U(fq), U(fo), U(ft), cb, ctx);
}

short odbcCONNECT::EnumPrimaryKeys(unsigned char* q, unsigned char* o, unsigned char* t,
                                   odbcEnumCallback<sPRIMARYKEYSRESULTSET> cb, void* ctx) {
    Args args{q, o, t};
    return Enumerate<sPRIMARYKEYSRESULTSET>(
        SQLPrimaryKeysRSB(), SQLPrimaryKeysRSBCount(),
        [](odbcCURSOR& cur, void* a) { return cur.PrimaryKeys(A(a)->a, A(a)->b, A(a)->c); }, &args, cb, ctx);
}
short odbcCONNECT::PrimaryKeys(char* q, char* o, char* t, odbcEnumCallback<sPRIMARYKEYSRESULTSET> cb, void* ctx) {
    return EnumPrimaryKeys(U(q), U(o), U(t), cb, ctx);
}

// --- iterator factory -------------------------------------------------------------------------

#define TS_ODBC_ITERATOR_FACTORY(Class, Alloc, DeAlloc, Params, ArgsList) \
    Class* odbcCONNECT::Alloc Params {                                    \
        Class* it = Create<Class>(this, ArgsList);                        \
        if (!it) SetRC(ODBC_RC_MEMORY);                                   \
        return it;                                                        \
    }                                                                     \
    void odbcCONNECT::DeAlloc(Class* it) {                                \
        delete it;                                                        \
    }

#define TS_ARGS(...) __VA_ARGS__
TS_ODBC_ITERATOR_FACTORY(odbcColumnIterator, AllocColumnIterator, DeAllocColumnIterator,
                         (char* q, char* o, char* t, char* c), TS_ARGS(q, o, t, c))
TS_ODBC_ITERATOR_FACTORY(odbcColumnPrivilegesIterator, AllocColumnPrivilegesIterator, DeAllocColumnPrivilegesIterator,
                         (char* q, char* o, char* t, char* c), TS_ARGS(q, o, t, c))
TS_ODBC_ITERATOR_FACTORY(odbcForeignKeysIterator, AllocForeignKeysIterator, DeAllocForeignKeysIterator,
                         (char* pq, char* po, char* pt, char* fq, char* fo, char* ft), TS_ARGS(pq, po, pt, fq, fo, ft))
TS_ODBC_ITERATOR_FACTORY(odbcPrimaryKeysIterator, AllocPrimaryKeysIterator, DeAllocPrimaryKeysIterator,
                         (char* q, char* o, char* t), TS_ARGS(q, o, t))
TS_ODBC_ITERATOR_FACTORY(odbcProcedureColumnsIterator, AllocProcedureColumnsIterator, DeAllocProcedureColumnsIterator,
                         (char* q, char* o, char* p, char* c), TS_ARGS(q, o, p, c))
TS_ODBC_ITERATOR_FACTORY(odbcProceduresIterator, AllocProceduresIterator, DeAllocProceduresIterator,
                         (char* q, char* o, char* p), TS_ARGS(q, o, p))
TS_ODBC_ITERATOR_FACTORY(odbcSpecialColumnIterator, AllocSpecialColumnIterator, DeAllocSpecialColumnIterator,
                         (unsigned short colType, char* q, char* o, char* t, unsigned short scope,
                          unsigned short nullable),
                         TS_ARGS(colType, q, o, t, scope, nullable))
TS_ODBC_ITERATOR_FACTORY(odbcStatisticsIterator, AllocStatisticsIterator, DeAllocStatisticsIterator,
                         (char* q, char* o, char* t, unsigned short unique, unsigned short accuracy),
                         TS_ARGS(q, o, t, unique, accuracy))
TS_ODBC_ITERATOR_FACTORY(odbcTableIterator, AllocTableIterator, DeAllocTableIterator,
                         (char* q, char* o, char* t, char* type), TS_ARGS(q, o, t, type))
TS_ODBC_ITERATOR_FACTORY(odbcTablePrivilegesIterator, AllocTablePrivilegesIterator, DeAllocTablePrivilegesIterator,
                         (char* q, char* o, char* t), TS_ARGS(q, o, t))
#undef TS_ARGS
#undef TS_ODBC_ITERATOR_FACTORY

odbcTypeInfoIterator* odbcCONNECT::AllocTypeInfoIterator() {
    odbcTypeInfoIterator* it = new (std::nothrow) odbcTypeInfoIterator(this);
    if (!it) SetRC(ODBC_RC_MEMORY);
    return it;
}
void odbcCONNECT::DeAllocTypeInfoIterator(odbcTypeInfoIterator* it) {
    delete it;
}

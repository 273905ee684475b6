#include "database/odbc/odbc_catalog_iterators.h"

#include "database/odbc/odbc_connect.h"

#include <algorithm>
#include <cstring>

odbcSYSINFOITERATOR::odbcSYSINFOITERATOR(odbcCONNECT* conn)
    : odbcCURSOR(conn, static_cast<unsigned char*>(nullptr), 0, 0, 0, nullptr, 0, nullptr, nullptr, 0, nullptr) {}

odbcSYSINFOITERATOR::~odbcSYSINFOITERATOR() = default;

void odbcSYSINFOITERATOR::Start(const sCOLBIND* table, unsigned short count, void* record) {
    if (!sqlsuccess()) return;
    FreeColBindings();
    count = std::min<unsigned short>(count, sizeof bindings_ / sizeof bindings_[0]);
    std::copy(table, table + count, bindings_);
    SetColBindings(bindings_, count, record);
    if (ErrorFlag()) return;
    if (DoQuery()) {
        sCOLBIND* cols = nullptr;
        unsigned short n = 0;
        void* rec = nullptr;
        GetColBindings(&cols, &n, &rec);
        BindCol(cols, n, rec);
        justQueried_ = 1;
    }
}

int odbcSYSINFOITERATOR::DoQuery() {
    odbcCONNECT* conn = GetConnect();
    if (!conn || !conn->CursorsCanScroll()) {
        scrollable_ = 0;
    } else {
        short report = AutoReport(0);
        short retrieve = AutoRetrieve(0);
        short connReport = conn->AutoReport(0);
        short connRetrieve = conn->AutoRetrieve(0);
        unsigned long options = conn->GetInfoUDWord(SQL_SCROLL_OPTIONS);
        conn->AutoRetrieve(connRetrieve);
        conn->AutoReport(connReport);
        SetRC(SQL_SUCCESS);
        bool keyset = (options & SQL_SO_KEYSET_DRIVEN) != 0;
        if (keyset) ExtFetchSetup(SQL_CONCUR_VALUES, 1, 1);
        if ((!keyset || !sqlsuccess()) && (options & SQL_SO_STATIC)) ExtFetchSetup(SQL_CONCUR_VALUES, 3, 1);
        if (!sqlsuccess() || (!keyset && !(options & SQL_SO_STATIC))) {
            if (keyset)
                ExtFetchSetup(SQL_CONCUR_VALUES, -1, 1);
            else
                SetRC(SQL_ERROR);
        }
        AutoRetrieve(retrieve);
        AutoReport(report);
        scrollable_ = sqlsuccess();
        SetRC(SQL_SUCCESS);
    }
    justQueried_ = 1;
    return sqlsuccess();
}

int odbcSYSINFOITERATOR::GetFirst() {
    if (ErrorFlag()) return 0;
    if (scrollable_) {
        ExtFetchFirst();
        return sqlsuccess();
    }
    if (!justQueried_) {
        Close();
        DoQuery();
    }
    Fetch();
    justQueried_ = 0;
    return sqlsuccess();
}

int odbcSYSINFOITERATOR::GetNext() {
    if (ErrorFlag()) return 0;
    if (scrollable_)
        ExtFetchNext();
    else
        Fetch();
    justQueried_ = 0;
    return sqlsuccess();
}

int odbcSYSINFOITERATOR::GetLast() {
    if (ErrorFlag() || !scrollable_) return 0;
    ExtFetchLast();
    return sqlsuccess();
}

int odbcSYSINFOITERATOR::GetPrev() {
    if (ErrorFlag() || !scrollable_) return 0;
    ExtFetchPrevious();
    return sqlsuccess();
}

// --- the eleven catalog functions -------------------------------------------------------------

odbcTableIterator::odbcTableIterator(odbcCONNECT* conn, UChar* q, UChar* o, UChar* t, UChar* type)
    : odbcSYSINFOITERATOR(conn), q_(q), o_(o), t_(t), type_(type) {
    if (conn) Start(conn->SQLTablesRSB(), conn->SQLTablesRSBCount(), &rs_);
}
int odbcTableIterator::DoQuery() {
    odbcSYSINFOITERATOR::DoQuery();
    Tables(q_, o_, t_, type_);
    return sqlsuccess();
}

odbcColumnIterator::odbcColumnIterator(odbcCONNECT* conn, UChar* q, UChar* o, UChar* t, UChar* c)
    : odbcSYSINFOITERATOR(conn), q_(q), o_(o), t_(t), c_(c) {
    if (conn) Start(conn->SQLColumnsRSB(), conn->SQLColumnsRSBCount(), &rs_);
}
int odbcColumnIterator::DoQuery() {
    odbcSYSINFOITERATOR::DoQuery();
    Columns(q_, o_, t_, c_);
    return sqlsuccess();
}

odbcStatisticsIterator::odbcStatisticsIterator(odbcCONNECT* conn, UChar* q, UChar* o, UChar* t, unsigned short unique,
                                               unsigned short accuracy)
    : odbcSYSINFOITERATOR(conn), q_(q), o_(o), t_(t), unique_(unique), accuracy_(accuracy) {
    if (conn) Start(conn->SQLStatisticsRSB(), conn->SQLStatisticsRSBCount(), &rs_);
}
int odbcStatisticsIterator::DoQuery() {
    odbcSYSINFOITERATOR::DoQuery();
    Statistics(q_, o_, t_, unique_, accuracy_);
    return sqlsuccess();
}

odbcSpecialColumnIterator::odbcSpecialColumnIterator(odbcCONNECT* conn, unsigned short colType, UChar* q, UChar* o,
                                                     UChar* t, unsigned short scope, unsigned short nullable)
    : odbcSYSINFOITERATOR(conn), colType_(colType), q_(q), o_(o), t_(t), scope_(scope), nullable_(nullable) {
    if (conn) Start(conn->SQLSpecialColumnsRSB(), conn->SQLSpecialColumnsRSBCount(), &rs_);
}
int odbcSpecialColumnIterator::DoQuery() {
    odbcSYSINFOITERATOR::DoQuery();
    SpecialColumns(colType_, q_, o_, t_, scope_, nullable_);
    return sqlsuccess();
}

odbcTypeInfoIterator::odbcTypeInfoIterator(odbcCONNECT* conn) : odbcSYSINFOITERATOR(conn) {
    if (conn) Start(conn->SQLTypeInfoRSB(), conn->SQLTypeInfoRSBCount(), &rs_);
}
int odbcTypeInfoIterator::DoQuery() {
    odbcSYSINFOITERATOR::DoQuery();
    GetTypeInfo(SQL_ALL_TYPES);
    return sqlsuccess();
}

odbcColumnPrivilegesIterator::odbcColumnPrivilegesIterator(odbcCONNECT* conn, UChar* q, UChar* o, UChar* t, UChar* c)
    : odbcSYSINFOITERATOR(conn), q_(q), o_(o), t_(t), c_(c) {
    if (conn) Start(conn->SQLColumnPrivilegesRSB(), conn->SQLColumnPrivilegesRSBCount(), &rs_);
}
int odbcColumnPrivilegesIterator::DoQuery() {
    odbcSYSINFOITERATOR::DoQuery();
    ColumnPrivileges(q_, o_, t_, c_);
    return sqlsuccess();
}

odbcTablePrivilegesIterator::odbcTablePrivilegesIterator(odbcCONNECT* conn, UChar* q, UChar* o, UChar* t)
    : odbcSYSINFOITERATOR(conn), q_(q), o_(o), t_(t) {
    if (conn) Start(conn->SQLTablePrivilegesRSB(), conn->SQLTablePrivilegesRSBCount(), &rs_);
}
int odbcTablePrivilegesIterator::DoQuery() {
    odbcSYSINFOITERATOR::DoQuery();
    TablePrivileges(q_, o_, t_);
    return sqlsuccess();
}

odbcProceduresIterator::odbcProceduresIterator(odbcCONNECT* conn, UChar* q, UChar* o, UChar* p)
    : odbcSYSINFOITERATOR(conn), q_(q), o_(o), p_(p) {
    if (conn) Start(conn->SQLProceduresRSB(), conn->SQLProceduresRSBCount(), &rs_);
}
int odbcProceduresIterator::DoQuery() {
    odbcSYSINFOITERATOR::DoQuery();
    Procedures(q_, o_, p_);
    return sqlsuccess();
}

odbcProcedureColumnsIterator::odbcProcedureColumnsIterator(odbcCONNECT* conn, UChar* q, UChar* o, UChar* p, UChar* c)
    : odbcSYSINFOITERATOR(conn), q_(q), o_(o), p_(p), c_(c) {
    if (conn) Start(conn->SQLProcedureColumnsRSB(), conn->SQLProcedureColumnsRSBCount(), &rs_);
}
int odbcProcedureColumnsIterator::DoQuery() {
    odbcSYSINFOITERATOR::DoQuery();
    ProcedureColumns(q_, o_, p_, c_);
    return sqlsuccess();
}

odbcPrimaryKeysIterator::odbcPrimaryKeysIterator(odbcCONNECT* conn, UChar* q, UChar* o, UChar* t)
    : odbcSYSINFOITERATOR(conn), q_(q), o_(o), t_(t) {
    if (conn) Start(conn->SQLPrimaryKeysRSB(), conn->SQLPrimaryKeysRSBCount(), &rs_);
}
int odbcPrimaryKeysIterator::DoQuery() {
    odbcSYSINFOITERATOR::DoQuery();
    PrimaryKeys(q_, o_, t_);
    return sqlsuccess();
}

odbcForeignKeysIterator::odbcForeignKeysIterator(odbcCONNECT* conn, UChar* pq, UChar* po, UChar* pt, UChar* fq,
                                                 UChar* fo, UChar* ft)
    : odbcSYSINFOITERATOR(conn), pq_(pq), po_(po), pt_(pt), fq_(fq), fo_(fo), ft_(ft) {
    if (conn) Start(conn->SQLForeignKeysRSB(), conn->SQLForeignKeysRSBCount(), &rs_);
}
int odbcForeignKeysIterator::DoQuery() {
    odbcSYSINFOITERATOR::DoQuery();
    ForeignKeys(pq_, po_, pt_, fq_, fo_, ft_);
    return sqlsuccess();
}

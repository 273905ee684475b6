#include "database/odbc/odbc_blob.h"
#include "database/odbc/odbc_connect.h"
#include "database/odbc/odbc_cursor.h"

#include <cstring>
#include <new>

namespace {
SQLLEN CursorToScroll(SQLLEN t) {
    return (t >= 0 && t <= 3) ? -t : t;
}
SQLLEN ScrollToCursor(SQLLEN t) {
    return (t >= -3 && t <= 0) ? -t : t;
}
}  // namespace

short odbcCURSOR::ChainScrollOptions(unsigned short concurrency, SQLLEN cursorType, unsigned short rowsetSize) {
    SetStmtOption(SQL_CONCURRENCY, concurrency);
    if (sqlsuccess()) SetStmtOption(SQL_CURSOR_TYPE, static_cast<SQLULEN>(cursorType));
    if (sqlsuccess()) SetStmtOption(SQL_ROWSET_SIZE, rowsetSize);
    return lastRC();
}

short odbcCURSOR::ExtFetchSetup(unsigned short concurrency, SQLLEN cursorType, unsigned short rowsetSize) {
    char version[11] = {};
    odbcCONNECT* conn = GetConnect();
    if (conn) {
        short report = conn->AutoReport(0);
        conn->GetInfoString(SQL_DRIVER_ODBC_VER, version, sizeof version, nullptr);
        if (!conn->sqlsuccess()) std::strcpy(version, "01");
        conn->AutoReport(report);
    } else {
        std::strcpy(version, "01");
    }
    version[sizeof version - 1] = 0;

    delete[] rowStatus_;
    rowStatus_ = nullptr;
    rowsetSize_ = 0;
    short report = AutoReport(0);
    SetRC(SQL_SUCCESS);

    bool done = false;
    if (std::strncmp(version, "01", 2) == 0) {
        SetScrollOptions(concurrency, cursorType, rowsetSize);
        if (!sqlsuccess()) {
            SQLLEN translated = CursorToScroll(cursorType);
            if (translated != cursorType) SetScrollOptions(concurrency, translated, rowsetSize);
        }
        done = sqlsuccess();
    }
    if (!done) {
        SQLLEN type = cursorType;
        for (int pass = 0; pass < 2 && !done; ++pass) {
            ChainScrollOptions(concurrency, type, rowsetSize);
            if (sqlsuccess()) {
                done = true;
                break;
            }
            SQLLEN translated = ScrollToCursor(type);
            if (translated != type || translated == SQL_CURSOR_STATIC) {
                ChainScrollOptions(concurrency, translated, rowsetSize);
                if (sqlsuccess()) {
                    done = true;
                    break;
                }
            }
            // A static cursor the driver refuses is tried once as keyset-driven.
            if (pass == 0 && translated == SQL_CURSOR_STATIC)
                type = SQL_CURSOR_KEYSET_DRIVEN;
            else
                break;
        }
        if (!done && report) {
            AutoReport(report);
            ChainScrollOptions(concurrency, cursorType, rowsetSize);
            done = sqlsuccess();
        }
    }
    AutoReport(report);
    if (done) {
        rowsetSize_ = rowsetSize;
        rowStatus_ = new (std::nothrow) unsigned short[rowsetSize ? rowsetSize : 1]();
        if (!rowStatus_) {
            rowsetSize_ = 0;
            SetRC(ODBC_RC_MEMORY);
        } else {
            RebindForRowset();
        }
    }
    return lastRC();
}

void odbcCURSOR::RebindForRowset() {
    if (boundRows_ < 0 || boundRows_ == rowsetSize_) return;
    if (!ownsBindings_) {
        // The caller's record is laid out for the rowset it asked for.
        colsBound_ = 0;
        BindCol(cols_, colCount_, record_);
        return;
    }
    // A record of our own is sized again; without a described result the next execution
    // binds it.
    short report = AutoReport(0);
    AutoBind(nullptr, nullptr);
    if (!sqlsuccess()) {
        FreeColBindings();
        autoBind_ = 1;
        SetRC(SQL_SUCCESS);
    }
    AutoReport(report);
}

short odbcCURSOR::ExtendedFetch(unsigned short fetchType, SQLLEN row, SQLULEN* rowsFetched, unsigned short* rowStatus) {
    SQLULEN local = 0;
    SQLULEN* fetched = rowsFetched ? rowsFetched : &local;
    *fetched = 0;
    // Buffers bound for fewer rows than the rowset would be written past their end.
    if (boundRows_ >= 0 && boundRows_ != rowsetSize_) {
        SetRC(ODBC_RC_NOT_EXTFETCH);
        return lastRC();
    }
    SetRC(SQLExtendedFetch(GetHstmt(), fetchType, row, fetched, rowStatus));
    if (!sqlsuccess() || !cols_ || !record_ || !rowsetSize_) return lastRC();
    odbcCONNECT* conn = GetConnect();
    bool setPos = conn && conn->GetFunctions(SQL_API_SQLSETPOS) != 0;
    SQLULEN rows = *fetched < rowsetSize_ ? *fetched : rowsetSize_;
    bool hasLong = false;
    for (unsigned short i = 0; i < colCount_; ++i)
        if (odbcIsLongType(cols_[i].fSqlType)) hasLong = true;
    SQLULEN processed = 0;
    for (SQLULEN r = 1; r <= rows; ++r) {
        // Long columns are read on the row they belong to.
        if (r > 1 && setPos && hasLong) {
            SetPos(static_cast<unsigned short>(r), SQL_POSITION, SQL_LOCK_NO_CHANGE);
            if (!sqlsuccess()) break;
        }
        if (!odbcSucceeded(ReadLongColumns(static_cast<unsigned short>(r)))) break;
        ++processed;
    }
    if (sqlsuccess() && processed > 1 && setPos && hasLong) SetPos(1, SQL_POSITION, SQL_LOCK_NO_CHANGE);
    return lastRC();
}

SQLULEN odbcCURSOR::ExtFetch(unsigned short type, SQLLEN offset) {
    fetchType_ = type;
    fetchOffset_ = offset;
    ExtendedFetch(fetchType_, offset, &rowsFetched_, rowStatus_);
    return rowsFetched_;
}

SQLULEN odbcCURSOR::ExtFetchFirst() {
    return ExtFetch(SQL_FETCH_FIRST, 0);
}
SQLULEN odbcCURSOR::ExtFetchNext() {
    return ExtFetch(SQL_FETCH_NEXT, 0);
}
SQLULEN odbcCURSOR::ExtFetchLast() {
    return ExtFetch(SQL_FETCH_LAST, 0);
}
SQLULEN odbcCURSOR::ExtFetchPrevious() {
    return ExtFetch(SQL_FETCH_PRIOR, 0);
}
SQLULEN odbcCURSOR::ExtFetchRelative(SQLLEN n) {
    return ExtFetch(SQL_FETCH_RELATIVE, n);
}
SQLULEN odbcCURSOR::ExtFetchAbsolute(SQLLEN n) {
    return ExtFetch(SQL_FETCH_ABSOLUTE, n);
}
// SQL_FETCH_RESUME (7) is gone from current headers; the stored offset is fetched again.
SQLULEN odbcCURSOR::ExtFetchResume() {
    return ExtFetch(7, fetchOffset_);
}

unsigned short odbcCURSOR::GetExtFetchStatus(unsigned short row) const {
    if (!rowStatus_ || row == 0 || row > rowsetSize_) return 0;
    return rowStatus_[row - 1];
}

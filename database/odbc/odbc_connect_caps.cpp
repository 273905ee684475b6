#include "database/odbc/odbc_connect.h"

#include <cstring>

unsigned short odbcCONNECT::GetFunctions(unsigned short function) {
    SQLUSMALLINT flag = 0;
    SetRC(SQLGetFunctions(hdbc_, function, &flag));
    return flag;
}

short odbcCONNECT::GetInfo(unsigned short infoType, void* buffer, short capacity, short* length) {
    SQLSMALLINT len = 0;
    SetRC(SQLGetInfo(hdbc_, infoType, buffer, capacity, &len));
    if (length) *length = len;
    return lastRC();
}

short odbcCONNECT::GetInfoString(unsigned short infoType, char* buffer, short capacity, short* length) {
    return GetInfo(infoType, buffer, capacity, length);
}

unsigned long odbcCONNECT::GetInfoUDWord(unsigned short infoType) {
    SQLUINTEGER value = 0;
    GetInfo(infoType, &value, sizeof value, nullptr);
    return sqlsuccess() ? value : 0;
}

unsigned long odbcCONNECT::QuietInfoUDWord(unsigned short infoType, bool clearAfter) {
    short retrieve = AutoRetrieve(0);
    short report = AutoReport(0);
    unsigned long value = GetInfoUDWord(infoType);
    AutoReport(report);
    AutoRetrieve(retrieve);
    if (clearAfter) SetRC(SQL_SUCCESS);
    return value;
}

int odbcCONNECT::CursorsCanScroll() {
    short retrieve = AutoRetrieve(0);
    short report = AutoReport(0);
    int result = 0;
    if (GetFunctions(SQL_API_SQLEXTENDEDFETCH) != 0) {
        unsigned long directions = GetInfoUDWord(SQL_FETCH_DIRECTION);
        if (sqlsuccess() && (directions & SQL_FD_FETCH_PRIOR) && (directions & SQL_FD_FETCH_LAST))
            result = (directions & SQL_FD_FETCH_FIRST) ? 1 : 0;
    }
    AutoReport(report);
    AutoRetrieve(retrieve);
    return result;
}

const char* odbcCONNECT::GetIdentifierQuoteMark() {
    short retrieve = AutoRetrieve(0);
    short report = AutoReport(0);
    std::memset(quoteMark_, 0, sizeof quoteMark_);
    GetInfo(SQL_IDENTIFIER_QUOTE_CHAR, quoteMark_, sizeof quoteMark_, nullptr);
    quoteMark_[sizeof quoteMark_ - 1] = 0;
    if (!sqlsuccess()) std::strcpy(quoteMark_, " ");
    AutoReport(report);
    AutoRetrieve(retrieve);
    SetRC(SQL_SUCCESS);
    return quoteMark_;
}

unsigned long odbcCONNECT::GetQuotedIdentifierCase() {
    return QuietInfoUDWord(SQL_QUOTED_IDENTIFIER_CASE, true);
}
unsigned long odbcCONNECT::GetIdentifierCase() {
    return QuietInfoUDWord(SQL_IDENTIFIER_CASE, true);
}
unsigned long odbcCONNECT::PosStmtSupport() {
    return QuietInfoUDWord(SQL_POSITIONED_STATEMENTS, false);
}
unsigned long odbcCONNECT::SetPosSupport() {
    return QuietInfoUDWord(SQL_POS_OPERATIONS, false);
}

bool odbcCONNECT::IsSQLiteDriver() {
    if (sqliteDriver_ < 0) {
        char name[128] = {};
        short retrieve = AutoRetrieve(0);
        short report = AutoReport(0);
        short rc = GetInfo(SQL_DRIVER_NAME, name, sizeof name, nullptr);
        AutoReport(report);
        AutoRetrieve(retrieve);
        if (!odbcSucceeded(rc)) return false;  // not connected yet: ask again later
        name[sizeof name - 1] = 0;
        sqliteDriver_ = strcasestr(name, "sqlite") ? 1 : 0;
    }
    return sqliteDriver_ == 1;
}

short odbcCONNECT::NativeSql(char* in, char* out, long outMax, long* outLen) {
    return NativeSql(reinterpret_cast<unsigned char*>(in), reinterpret_cast<unsigned char*>(out), outMax, outLen);
}

short odbcCONNECT::NativeSql(unsigned char* in, unsigned char* out, long outMax, long* outLen) {
    if (IsSQLiteDriver()) {
        // The SQLite driver crashes in SQLNativeSql; its native SQL is the text itself.
        if (!in || !out || outMax <= 0) {
            SetRC(ODBC_RC_BAD_PARAMETER);
            return lastRC();
        }
        size_t n = std::strlen(reinterpret_cast<char*>(in));
        size_t copied = n < static_cast<size_t>(outMax) ? n : static_cast<size_t>(outMax) - 1;
        std::memcpy(out, in, copied);
        out[copied] = 0;
        if (outLen) *outLen = static_cast<long>(n);
        SetRC(copied < n ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS);
        return lastRC();
    }
    SQLINTEGER len = 0;
    SQLINTEGER capacity = outMax > 0x7fffffffL ? 0x7fffffff : static_cast<SQLINTEGER>(outMax);
    SetRC(SQLNativeSql(hdbc_, in, SQL_NTS, out, capacity, &len));
    if (outLen) *outLen = len;
    return lastRC();
}

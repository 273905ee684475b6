#include "database/odbc/odbc_base.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

const odbcLibraryError kLibraryErrors[] = {
    {-1000, "S1001", -1, "[Quorvex][VRM]Memory allocation error."},
    {-1001, "S1000", 1, "[Quorvex][VRM]Buffer too small."},
    {-1002, "S1000", -1, "[Quorvex][VRM]Bad parameter."},
    {-1003, "S1000", -1, "[Quorvex][VRM]Not set up for extended fetch operations."},
    {-1004, "S1000", -1, "[Quorvex][VRM]Ill-formed statement."},
    {-1005, "S1000", -1, "[Quorvex][VRM]Can't convert data type."},
    {-1006, "S1000", -1, "[Quorvex][VRM]Bad cursor pointer encountered."},
    {-1007, "S1000", -1, "[Quorvex][VRM]Internal secondary statement constructor failed."},
    {-1008, "S1000", -1, "[Quorvex][VRM]Internal insert operation failed."},
    {-1009, "S1000", -1, "[Quorvex][VRM]Internal update/delete statement failed."},
    {-1010, "S1000", -1, "[Quorvex][VRM]Internal update operation failed."},
    {-1011, "S1000", -1, "[Quorvex][VRM]Internal delete operation failed."},
    {-1012, "S1000", -1, "[Quorvex][VRM]Internal SetPos operation failed."},
    {-1013, "S1000", -1, "[Quorvex][VRM]InternalodbcRECORD class requires table name."},
    {-1014, "S1000", -1, "[Quorvex][VRM]InternalStatement passed to odbcRECORD was not a SELECT statement."},
    {-1015, "S1000", -1, "[Quorvex][VRM]Internal prepare operation failed."},
    {-1016, "S1000", -1, "[Quorvex][VRM]BLOB did not contain data."},
    {-1017, "S1000", -1, "[Quorvex][VRM]BLOB contains corrupt data."},
    {-1018, "S1000", -1, "[Quorvex][VRM]Error converting data into BLOB format."},
    {-1019, "S1000", -1, "[Quorvex][VRM]Unknown or non-character display column in dialog operation."},
    {-1020, "S1000", -1, "[Quorvex][VRM]Unknown attach column in list box operation."},
    {-1022, "S1000", -1, "[Quorvex][VRM]Data entry range error."},
    {-1021, "S1000", -1, "[Quorvex][VRM]Data entry formatting error."},
    {-1023, "S1000", -1, "[Quorvex][VRM]Extended ins/upd/del operations not supported."},
    {-1024, "S1000", -1, "[Quorvex][VRM]WHERE clause append operation failed."},
};

const char kUnknownError[] = "[Quorvex][VRM]Unknown error.";

int DefaultReporter(odbcHWND, const char* text, const char* caption, unsigned short) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
    return 1;  // IDOK
}

odbcReporter g_reporter = DefaultReporter;

struct TypeConversion {
    short sqlType;
    unsigned short infoType;
    unsigned long bit;
};

const TypeConversion kConversions[] = {
    {SQL_BIT, SQL_CONVERT_BIT, SQL_CVT_BIT},
    {SQL_TINYINT, SQL_CONVERT_TINYINT, SQL_CVT_TINYINT},
    {SQL_BIGINT, SQL_CONVERT_BIGINT, SQL_CVT_BIGINT},
    {SQL_LONGVARBINARY, SQL_CONVERT_LONGVARBINARY, SQL_CVT_LONGVARBINARY},
    {SQL_VARBINARY, SQL_CONVERT_VARBINARY, SQL_CVT_VARBINARY},
    {SQL_BINARY, SQL_CONVERT_BINARY, SQL_CVT_BINARY},
    {SQL_LONGVARCHAR, SQL_CONVERT_LONGVARCHAR, SQL_CVT_LONGVARCHAR},
    {SQL_CHAR, SQL_CONVERT_CHAR, SQL_CVT_CHAR},
    {SQL_NUMERIC, SQL_CONVERT_NUMERIC, SQL_CVT_NUMERIC},
    {SQL_DECIMAL, SQL_CONVERT_DECIMAL, SQL_CVT_DECIMAL},
    {SQL_INTEGER, SQL_CONVERT_INTEGER, SQL_CVT_INTEGER},
    {SQL_SMALLINT, SQL_CONVERT_SMALLINT, SQL_CVT_SMALLINT},
    {SQL_FLOAT, SQL_CONVERT_FLOAT, SQL_CVT_FLOAT},
    {SQL_REAL, SQL_CONVERT_REAL, SQL_CVT_REAL},
    {SQL_DOUBLE, SQL_CONVERT_DOUBLE, SQL_CVT_DOUBLE},
    {SQL_DATE, SQL_CONVERT_DATE, SQL_CVT_DATE},
    {SQL_TIME, SQL_CONVERT_TIME, SQL_CVT_TIME},
    {SQL_TIMESTAMP, SQL_CONVERT_TIMESTAMP, SQL_CVT_TIMESTAMP},
    {SQL_VARCHAR, SQL_CONVERT_VARCHAR, SQL_CVT_VARCHAR},
};

const TypeConversion* FindConversion(short sqlType) {
    for (const auto& c : kConversions)
        if (c.sqlType == sqlType) return &c;
    return nullptr;
}

}  // namespace

odbcReporter odbcSetReporter(odbcReporter reporter) {
    odbcReporter previous = g_reporter;
    g_reporter = reporter ? reporter : DefaultReporter;
    return previous;
}

const odbcLibraryError* odbcFindLibraryError(short code) {
    for (const auto& e : kLibraryErrors)
        if (e.code == code) return &e;
    return nullptr;
}

odbcBASE::odbcBASE() = default;
odbcBASE::~odbcBASE() = default;

const unsigned char* odbcBASE::ErrMsg() const {
    static const unsigned char empty[1] = {0};
    return message_ ? message_.get() : empty;
}

short odbcBASE::AutoRetrieve(short mode) {
    short previous = autoRetrieve_;
    autoRetrieve_ = mode;
    return previous;
}

short odbcBASE::AutoReport(short mode) {
    short previous = autoReport_;
    autoReport_ = mode;
    return previous;
}

odbcErrHandler odbcBASE::SetErrHandler(odbcErrHandler handler) {
    odbcErrHandler previous = handler_;
    handler_ = handler;
    return previous;
}

void odbcBASE::CopyErrorPolicy(const odbcBASE& from) {
    handler_ = from.handler_;
    autoRetrieve_ = from.autoRetrieve_;
    autoReport_ = from.autoReport_;
    wnd_ = from.wnd_;
    mboxFlags_ = from.mboxFlags_;
}

void odbcBASE::SilenceForDestruction() {
    autoReport_ = 0;
    handler_ = nullptr;
}

bool odbcBASE::EnsureMessageBuffer() {
    if (!message_) {
        message_.reset(new (std::nothrow) unsigned char[ODBC_MESSAGE_SIZE]);
        if (message_) message_[0] = 0;
    }
    return message_ != nullptr;
}

void odbcBASE::SetRC(short rc) {
    lastRC_ = rc;
    sqlState_[0] = 0;
    if (message_) message_[0] = 0;

    if (rc >= -1025 && rc <= -1000) {
        if (const odbcLibraryError* entry = odbcFindLibraryError(rc)) {
            nativeError_ = rc;
            if (autoRetrieve_ != 1 && autoRetrieve_ != 2) return;
            std::memcpy(sqlState_, entry->sqlState, 6);
            nativeError_ = 0;
            if (EnsureMessageBuffer()) {
                std::snprintf(reinterpret_cast<char*>(message_.get()), ODBC_MESSAGE_SIZE, "%s", entry->text);
            }
            lastRC_ = entry->becomes;
            if (autoReport_ != 1 && autoReport_ != 2) return;
            ReportLoop();
            return;
        }
    }
    if (lastRC_ != SQL_ERROR && lastRC_ != SQL_SUCCESS_WITH_INFO) return;
    bool retrieve = autoRetrieve_ == 2 || (autoRetrieve_ == 1 && lastRC_ == SQL_ERROR);
    if (!retrieve) return;
    RegisterError();
    bool report = autoReport_ == 2 || (autoReport_ == 1 && lastRC_ != SQL_SUCCESS_WITH_INFO);
    if (!report) return;
    ReportLoop();
}

void odbcBASE::ReportLoop() {
    // Ends at the first record that cannot be fetched, whatever the reason, and never runs
    // away when a driver keeps answering.
    for (int count = 0; count < ODBC_MAX_REPORTED_RECORDS; ++count) {
        if (handler_) {
            static unsigned char empty[1] = {0};
            handler_(lastRC_, sqlState_, nativeError_, message_ ? message_.get() : empty, this);
        } else {
            Report();
        }
        short next = NextError();
        if (next != SQL_SUCCESS && next != SQL_SUCCESS_WITH_INFO) break;
    }
}

short odbcBASE::Error(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt) {
    if (!EnsureMessageBuffer()) {
        SetRC(ODBC_RC_MEMORY);
        return lastRC();
    }
    sqlState_[0] = 0;
    message_[0] = 0;
    messageLength_ = 0;
    nativeError_ = 0;
    SQLRETURN rc =
        SQLError(henv, hdbc, hstmt, sqlState_, &nativeError_, message_.get(), ODBC_MESSAGE_SIZE, &messageLength_);
    sqlState_[5] = 0;
    message_[ODBC_MESSAGE_SIZE - 1] = 0;
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
        sqlState_[0] = 0;
        message_[0] = 0;
    }
    return rc;
}

short odbcBASE::NextError() {
    if (lastRC_ == SQL_NO_DATA_FOUND) return SQL_NO_DATA_FOUND;
    return RegisterError();
}

int odbcBASE::Report() {
    char caption[16];
    std::snprintf(caption, sizeof caption, "%s(%05d)", reinterpret_cast<const char*>(sqlState_),
                  static_cast<int>(lastRC_));
    const char* text = message_ ? reinterpret_cast<const char*>(message_.get()) : kUnknownError;
    reportResult_ = g_reporter(wnd_, text, caption, mboxFlags_);
    return reportResult_;
}

void odbcBASE::TrimTrailingBlanks(char* text) {
    TrimTrailingBlanks(reinterpret_cast<unsigned char*>(text));
}

void odbcBASE::TrimTrailingBlanks(unsigned char* text) {
    if (!text) return;
    size_t n = std::strlen(reinterpret_cast<char*>(text));
    while (n > 0 && text[n - 1] == ' ') text[--n] = 0;
}

unsigned short odbcBASE::GetConvertInfoFlag(short sqlType) const {
    const TypeConversion* c = FindConversion(sqlType);
    return c ? c->infoType : 0;
}

unsigned long odbcBASE::GetConvertInfoBitMask(short sqlType) const {
    const TypeConversion* c = FindConversion(sqlType);
    return c ? c->bit : 0;
}

unsigned long odbcBASE::PrecisionForSqlType(short sqlType, unsigned long length) const {
    switch (sqlType) {
        case SQL_BIT:
            return 1;
        case SQL_TINYINT:
            return 3;
        case SQL_BIGINT:
            return 20;
        case SQL_LONGVARBINARY:
        case SQL_VARBINARY:
        case SQL_BINARY:
        case SQL_LONGVARCHAR:
        case SQL_CHAR:
        case SQL_VARCHAR:
            return length;
        case SQL_NUMERIC:
        case SQL_DECIMAL:
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return 15;
        case SQL_INTEGER:
        case SQL_DATE:
            return 10;
        case SQL_SMALLINT:
            return 5;
        case SQL_REAL:
            return 7;
        case SQL_TIME:
            return 8;
        case SQL_TIMESTAMP:
            return 23;
        default:
            return 0;
    }
}

unsigned long odbcBASE::LengthForCType(short cType, unsigned long length) const {
    switch (cType) {
        case SQL_C_UTINYINT:
        case SQL_C_STINYINT:
        case SQL_C_BIT:
            return 1;
        case SQL_C_USHORT:
        case SQL_C_SSHORT:
        case SQL_C_SHORT:
            return 2;
        case SQL_C_ULONG:
        case SQL_C_SLONG:
        case SQL_C_LONG:
        case SQL_C_FLOAT:
            return 4;
        case SQL_C_DOUBLE:
            return 8;
        case SQL_C_DATE:
        case SQL_C_TIME:
            return 6;
        case SQL_C_TIMESTAMP:
            return 16;
        case SQL_C_BINARY:
        case SQL_C_CHAR:
        case SQL_C_DEFAULT:
            return length;
        default:
            return 0;
    }
}

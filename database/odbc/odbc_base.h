// Root of the ODBC class library: last return code, last diagnostic and the error policy.
#pragma once

#include "database/odbc/odbc_api.h"

#include <memory>

using odbcErrHandler = void (*)(short rc, unsigned char* sqlState, long nativeError, unsigned char* message,
                                odbcBASE* source);

// Replaces the message box of a report: gets the owner, text, caption and flags and returns
// the box's answer. The default writes to stderr and answers IDOK (1).
using odbcReporter = int (*)(odbcHWND owner, const char* text, const char* caption, unsigned short flags);
odbcReporter odbcSetReporter(odbcReporter reporter);

inline constexpr int ODBC_MESSAGE_SIZE = 512;
// The report loop never walks more diagnostic records than this.
inline constexpr int ODBC_MAX_REPORTED_RECORDS = 64;

class odbcBASE {
public:
    odbcBASE();
    virtual ~odbcBASE();
    odbcBASE(const odbcBASE&) = delete;
    odbcBASE& operator=(const odbcBASE&) = delete;

    virtual short Error(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt);
    virtual const unsigned char* SqlState() const { return sqlState_; }
    virtual long NativeError() const { return nativeError_; }
    virtual const unsigned char* ErrMsg() const;
    virtual void SetWnd(odbcHWND wnd) { wnd_ = wnd; }
    virtual void SetMBoxFlags(unsigned short flags) { mboxFlags_ = flags; }
    virtual int Report();
    virtual int ReportReturned() const { return reportResult_; }
    virtual short RegisterError() = 0;
    virtual short AutoRetrieve(short mode);
    virtual short AutoReport(short mode);
    virtual int sqlsuccess() const { return odbcSucceeded(lastRC_) ? 1 : 0; }
    virtual short lastRC() const { return lastRC_; }
    virtual odbcErrHandler SetErrHandler(odbcErrHandler handler);
    virtual void TrimTrailingBlanks(char* text);
    virtual void TrimTrailingBlanks(unsigned char* text);
    virtual unsigned short GetConvertInfoFlag(short sqlType) const;
    virtual unsigned long GetConvertInfoBitMask(short sqlType) const;
    virtual int needData() const { return lastRC_ == SQL_NEED_DATA ? 1 : 0; }
    virtual int NoDataFound() const { return lastRC_ == SQL_NO_DATA_FOUND ? 1 : 0; }
    virtual short NextError();
    virtual unsigned long PrecisionForSqlType(short sqlType, unsigned long length) const;
    virtual unsigned long LengthForCType(short cType, unsigned long length) const;
    virtual short GetAutoRetrieve() const { return autoRetrieve_; }
    virtual short GetAutoReport() const { return autoReport_; }
    virtual odbcHWND GetWnd() const { return wnd_; }

    odbcErrHandler GetErrHandler() const { return handler_; }
    unsigned short GetMBoxFlags() const { return mboxFlags_; }
    // Takes over handler, modes, window and flags of another object.
    void CopyErrorPolicy(const odbcBASE& from);
    // Records a code as SetRC does; public so that long-data objects can signal on their cursor.
    void SignalRC(short rc) { SetRC(rc); }

protected:
    virtual void SetRC(short rc);
    // Driver calls made while destroying an object never report (a handler may throw).
    void SilenceForDestruction();

private:
    void ReportLoop();
    bool EnsureMessageBuffer();

    short autoRetrieve_ = 1;
    short autoReport_ = 0;
    odbcHWND wnd_ = nullptr;
    unsigned short mboxFlags_ = 0x40;
    odbcErrHandler handler_ = nullptr;
    short lastRC_ = 0;
    unsigned char sqlState_[6] = {};
    SQLINTEGER nativeError_ = 0;
    std::unique_ptr<unsigned char[]> message_;
    SQLSMALLINT messageLength_ = 0;
    int reportResult_ = 0;
};

// Looks up one of the library's own codes (-1000..-1024); null when the table lacks it.
struct odbcLibraryError {
    short code;
    const char* sqlState;
    short becomes;
    const char* text;
};
const odbcLibraryError* odbcFindLibraryError(short code);

#include "database/odbc/odbc_env.h"

#include "database/odbc/odbc_connect.h"
#include "database/odbc/odbc_lists.h"

#include <new>

#include "platform/sqlite_lock_holder.h"

namespace {
constexpr short kDsnSize = 32;
constexpr short kDescriptionSize = 128;
constexpr short kDriverSize = 128;
constexpr short kDriverAttributesSize = 256;

bool Allocate(std::unique_ptr<char[]>& buffer, short size) {
    if (!buffer) {
        buffer.reset(new (std::nothrow) char[size]);
        if (buffer) buffer[0] = 0;
    }
    return buffer != nullptr;
}
}  // namespace

odbcENV::odbcENV() {
    // A data source's driver may be SQLite: its locks must be taken through the store's
    // hook from the first, so the hook goes in before any driver can load. (Programs
    // that never reach a data source, ksml among them, are spared SQLite's start-up.)
    tessaro::platform::KeepSqliteLocksPerProcess();
    AutoRetrieve(1);
    SetRC(SQLAllocEnv(&henv_));
    AutoRetrieve(0);
}

odbcENV::~odbcENV() {
    SilenceForDestruction();
    // Connections outlive their environment: they only forget it.
    std::lock_guard<std::mutex> hold(connectionsLock_);
    if (connections_) {
        for (odbcCONNELEM* e = connections_->First(); e; e = e->next) e->item->DetachEnvironment();
        delete connections_;
        connections_ = nullptr;
    }
    if (henv_ != SQL_NULL_HENV) SQLFreeEnv(henv_);
}

short odbcENV::RegisterError() {
    return Error(henv_, SQL_NULL_HDBC, SQL_NULL_HSTMT);
}

odbcCONNECT* odbcENV::AllocConnect(char* dsn, char* uid, char* pwd, unsigned long loginTimeout) {
    return AllocConnect(reinterpret_cast<unsigned char*>(dsn), reinterpret_cast<unsigned char*>(uid),
                        reinterpret_cast<unsigned char*>(pwd), loginTimeout);
}

odbcCONNECT* odbcENV::AllocConnect(unsigned char* dsn, unsigned char* uid, unsigned char* pwd,
                                   unsigned long loginTimeout) {
    odbcCONNECT* conn = new (std::nothrow) odbcCONNECT(this, dsn, uid, pwd, loginTimeout);
    if (!conn) SetRC(ODBC_RC_MEMORY);
    return conn;
}

void odbcENV::DeAllocConnect(odbcCONNECT* conn) {
    delete conn;
}

short odbcENV::Commit() {
    SetRC(SQLTransact(henv_, SQL_NULL_HDBC, SQL_COMMIT));
    return lastRC();
}

short odbcENV::RollBack() {
    SetRC(SQLTransact(henv_, SQL_NULL_HDBC, SQL_ROLLBACK));
    return lastRC();
}

short odbcENV::DataSources(unsigned short direction, char* name, short nameMax, short* nameLen, char* desc,
                           short descMax, short* descLen) {
    return DataSources(direction, reinterpret_cast<unsigned char*>(name), nameMax, nameLen,
                       reinterpret_cast<unsigned char*>(desc), descMax, descLen);
}

short odbcENV::DataSources(unsigned short direction, unsigned char* name, short nameMax, short* nameLen,
                           unsigned char* desc, short descMax, short* descLen) {
    SetRC(SQLDataSources(henv_, direction, name, nameMax, nameLen, desc, descMax, descLen));
    return lastRC();
}

short odbcENV::FetchDataSource(unsigned short direction) {
    if (!Allocate(dsn_, kDsnSize) || !Allocate(description_, kDescriptionSize)) {
        SetRC(ODBC_RC_MEMORY);
        return lastRC();
    }
    short nameLen = 0, descLen = 0;
    return DataSources(direction, dsn_.get(), kDsnSize, &nameLen, description_.get(), kDescriptionSize, &descLen);
}

short odbcENV::FirstDataSource() {
    return FetchDataSource(SQL_FETCH_FIRST);
}
short odbcENV::NextDataSource() {
    return FetchDataSource(SQL_FETCH_NEXT);
}

short odbcENV::Drivers(unsigned short direction, char* desc, short descMax, short* descLen, char* attrs, short attrsMax,
                       short* attrsLen) {
    return Drivers(direction, reinterpret_cast<unsigned char*>(desc), descMax, descLen,
                   reinterpret_cast<unsigned char*>(attrs), attrsMax, attrsLen);
}

short odbcENV::Drivers(unsigned short direction, unsigned char* desc, short descMax, short* descLen,
                       unsigned char* attrs, short attrsMax, short* attrsLen) {
    SetRC(SQLDrivers(henv_, direction, desc, descMax, descLen, attrs, attrsMax, attrsLen));
    return lastRC();
}

short odbcENV::FetchDriver(unsigned short direction) {
    if (!Allocate(driver_, kDriverSize) || !Allocate(driverAttributes_, kDriverAttributesSize)) {
        SetRC(ODBC_RC_MEMORY);
        return lastRC();
    }
    short descLen = 0, attrsLen = 0;
    return Drivers(direction, driver_.get(), kDriverSize, &descLen, driverAttributes_.get(), kDriverAttributesSize,
                   &attrsLen);
}

short odbcENV::FirstDriver() {
    return FetchDriver(SQL_FETCH_FIRST);
}
short odbcENV::NextDriver() {
    return FetchDriver(SQL_FETCH_NEXT);
}

void odbcENV::RegisterConnection(odbcCONNECT* conn) {
    std::lock_guard<std::mutex> hold(connectionsLock_);
    if (!connections_) connections_ = new (std::nothrow) odbcCONNLIST(0);
    if (!connections_) {
        SetRC(ODBC_RC_MEMORY);
        return;
    }
    connections_->Add(conn);
}

void odbcENV::UnregisterConnection(odbcCONNECT* conn) {
    std::lock_guard<std::mutex> hold(connectionsLock_);
    if (connections_) connections_->Remove(conn);
}

std::size_t odbcENV::ConnectionCount() const {
    std::lock_guard<std::mutex> hold(connectionsLock_);
    std::size_t count = 0;
    for (odbcCONNELEM* e = connections_ ? connections_->First() : nullptr; e; e = e->next) ++count;
    return count;
}

// One ODBC environment: creates connections and lists data sources and drivers.
#pragma once

#include "database/odbc/odbc_base.h"

#include <cstddef>
#include <memory>
#include <mutex>

class odbcENV : public odbcBASE {
public:
    odbcENV();
    ~odbcENV() override;

    short RegisterError() override;

    virtual SQLHENV GetHenv() const { return henv_; }
    virtual odbcCONNECT* AllocConnect(char* dsn, char* uid, char* pwd, unsigned long loginTimeout);
    virtual odbcCONNECT* AllocConnect(unsigned char* dsn, unsigned char* uid, unsigned char* pwd,
                                      unsigned long loginTimeout);
    virtual void DeAllocConnect(odbcCONNECT* conn);
    virtual short Commit();
    virtual short RollBack();
    virtual short DataSources(unsigned short direction, char* name, short nameMax, short* nameLen, char* desc,
                              short descMax, short* descLen);
    virtual short DataSources(unsigned short direction, unsigned char* name, short nameMax, short* nameLen,
                              unsigned char* desc, short descMax, short* descLen);
    virtual short FirstDataSource();
    virtual short NextDataSource();
    virtual const char* DSN() const { return dsn_.get(); }
    virtual const char* Description() const { return description_.get(); }
    virtual short Drivers(unsigned short direction, char* desc, short descMax, short* descLen, char* attrs,
                          short attrsMax, short* attrsLen);
    virtual short Drivers(unsigned short direction, unsigned char* desc, short descMax, short* descLen,
                          unsigned char* attrs, short attrsMax, short* attrsLen);
    virtual short FirstDriver();
    virtual short NextDriver();
    virtual const char* Driver() const { return driver_.get(); }
    virtual const char* DriverAttributes() const { return driverAttributes_.get(); }

    unsigned long CursorLibrarySetting() const { return cursorLibrary_; }
    // Connections currently made from this environment.
    std::size_t ConnectionCount() const;

private:
    friend class odbcCONNECT;
    virtual void RegisterConnection(odbcCONNECT* conn);
    virtual void UnregisterConnection(odbcCONNECT* conn);
    short FetchDataSource(unsigned short direction);
    short FetchDriver(unsigned short direction);

    SQLHENV henv_ = SQL_NULL_HENV;
    // Request threads make and free connections of the one shared environment at once.
    mutable std::mutex connectionsLock_;
    odbcCONNLIST* connections_ = nullptr;
    std::unique_ptr<char[]> dsn_;
    std::unique_ptr<char[]> description_;
    std::unique_ptr<char[]> driver_;
    std::unique_ptr<char[]> driverAttributes_;
    unsigned long cursorLibrary_ = SQL_CUR_USE_DRIVER;
};

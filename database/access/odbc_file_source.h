// A data source read straight from the ODBC files the engine was started with (ODBCINI,
// ~/.odbc.ini, ODBCSYSINI's odbc.ini). The driver manager keeps what it once found
// missing for the life of the process, so a data source added to odbc.ini after a
// request asked for it would stay "not found" until a restart; the engine then connects
// with the entry as it is in the file now.
#pragma once

#include <string>

// The connection string of the entry [dataSource] ("DRIVER={...};Key={value};...", with
// UID and PWD when user is not empty), or "" when no file has such an entry or it names
// no driver.
std::string OdbcFileConnectionString(const std::string& dataSource, const std::string& user,
                                     const std::string& password);

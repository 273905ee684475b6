// Where the ODBC driver manager finds its configuration, as the engine's process sees it.
#pragma once

#include <string>
#include <vector>

namespace tessaro::platform {

// The files that define data sources, in the order the driver manager searches them:
// $ODBCINI, ~/.odbc.ini, then odbc.ini in $ODBCSYSINI (or /etc).
std::vector<std::string> OdbcDataSourceFiles();

// odbcinst.ini in $ODBCSYSINI (or /etc): the drivers.
std::string OdbcDriversFile();

}  // namespace tessaro::platform

// The ODBC configuration the engine service is installed with. The service keeps the
// environment of `tsengine -INSTALL`; without ODBCSYSINI and ODBCINI there every data source of
// the runtime root's odbc folder would be missing afterwards.
#pragma once

#include <string>

// Sets ODBCSYSINI and ODBCINI, when they are not set, to the runtime root's odbc/ folder and
// its odbc.ini (when those exist), and returns the line that tells the installer what the
// service will use.
std::string ChooseServiceOdbcEnvironment();

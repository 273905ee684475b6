#include "engine/server/odbc_service_environment.h"

#include "platform/home.h"
#include "platform/process_environment.h"
#include "support/file_helpers.h"

namespace {

std::string Variable(const char* name) {
    return tessaro::platform::EnvironmentValue(name);
}

}  // namespace

std::string ChooseServiceOdbcEnvironment() {
    const std::string folder = tessaro::platform::HomePath("odbc");
    if (Variable("ODBCSYSINI").empty() && FileExists(folder + "/odbcinst.ini")) tessaro::platform::SetEnvironmentValue("ODBCSYSINI", folder);
    if (Variable("ODBCINI").empty() && FileExists(folder + "/odbc.ini"))
        tessaro::platform::SetEnvironmentValue("ODBCINI", folder + "/odbc.ini");
    const std::string sysIni = Variable("ODBCSYSINI"), ini = Variable("ODBCINI");
    if (sysIni.empty() && ini.empty())
        return "ODBCSYSINI and ODBCINI are not set: the service will use the system's ODBC configuration "
               "(/etc/odbcinst.ini, /etc/odbc.ini).";
    return "The service will use ODBCSYSINI=" + (sysIni.empty() ? std::string("(not set)") : sysIni) +
           " and ODBCINI=" + (ini.empty() ? std::string("(not set)") : ini) + ".";
}

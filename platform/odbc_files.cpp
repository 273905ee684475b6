#include "platform/odbc_files.h"

#include "platform/process_environment.h"

namespace tessaro::platform {

namespace {

std::string SystemFolder() {
    std::string sys = EnvironmentValue("ODBCSYSINI");
    return sys.empty() ? std::string("/etc") : sys;
}

}  // namespace

std::vector<std::string> OdbcDataSourceFiles() {
    std::vector<std::string> files;
    if (std::string ini = EnvironmentValue("ODBCINI"); !ini.empty()) files.push_back(ini);
    if (std::string home = EnvironmentValue("HOME"); !home.empty()) files.push_back(home + "/.odbc.ini");
    files.push_back(SystemFolder() + "/odbc.ini");
    return files;
}

std::string OdbcDriversFile() {
    return SystemFolder() + "/odbcinst.ini";
}

}  // namespace tessaro::platform

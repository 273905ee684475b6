// The data sources the driver manager knows, read from its odbc.ini files: the system file
// ($ODBCSYSINI/odbc.ini, else /etc/odbc.ini) and then the user's ($ODBCINI, else
// ~/.odbc.ini). A name listed under [ODBC Data Sources] has its own definition when the file
// also has a section of that name. Files without that list (usual for this driver manager)
// name every section except [ODBC Data Sources] and [ODBC] as a defined data source.
#pragma once

#include <string>
#include <vector>

namespace tessaro::wizardutils {

struct DataSourceEntry {
    std::string name;
    bool defined = false;  // has its own section
};

std::vector<std::string> OdbcDataSourceFiles();
std::vector<DataSourceEntry> ListOdbcDataSources(const std::vector<std::string>& files);

}  // namespace tessaro::wizardutils

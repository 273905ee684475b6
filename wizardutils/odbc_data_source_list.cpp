#include "wizardutils/odbc_data_source_list.h"

#include <algorithm>

#include "support/text_helpers.h"
#include "platform/ini_file.h"
#include "platform/process_environment.h"

namespace tessaro::wizardutils {

namespace {

std::string Environment(const char* name) {
    return platform::EnvironmentValue(name);
}

bool SameName(const std::string& a, const std::string& b) {
    return LowerCopy(a) == LowerCopy(b);
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return SameName(n, name); });
}

}  // namespace

std::vector<std::string> OdbcDataSourceFiles() {
    std::vector<std::string> files;
    std::string system = Environment("ODBCSYSINI");
    files.push_back(system.empty() ? "/etc/odbc.ini" : system + "/odbc.ini");
    std::string user = Environment("ODBCINI");
    if (user.empty() && !Environment("HOME").empty()) user = Environment("HOME") + "/.odbc.ini";
    if (!user.empty() && user != files.front()) files.push_back(user);
    return files;
}

std::vector<DataSourceEntry> ListOdbcDataSources(const std::vector<std::string>& files) {
    std::vector<DataSourceEntry> sources;
    auto add = [&](const std::string& name, bool defined) {
        for (DataSourceEntry& e : sources) {
            if (SameName(e.name, name)) {
                e.defined = e.defined || defined;
                return;
            }
        }
        sources.push_back({name, defined});
    };
    for (const std::string& file : files) {
        std::vector<std::string> sections = platform::IniSectionNames(file);
        if (Contains(sections, "ODBC Data Sources")) {
            for (const std::string& name : platform::IniKeyNames(file, "ODBC Data Sources"))
                add(name, Contains(sections, name));
        } else {
            for (const std::string& name : sections) {
                if (!SameName(name, "ODBC Data Sources") && !SameName(name, "ODBC")) add(name, true);
            }
        }
    }
    return sources;
}

}  // namespace tessaro::wizardutils

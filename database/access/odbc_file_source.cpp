#include "database/access/odbc_file_source.h"

#include <vector>

#include "platform/ini_file.h"
#include "platform/odbc_files.h"
#include "platform/path_util.h"

namespace {

// A value as a connection string carries it: plain, as drivers read most values, or in
// braces (a closing brace doubled) when it holds what would end or open one.
std::string Braced(const std::string& value) {
    bool plain = value.find_first_of(";{}") == std::string::npos &&
                 (value.empty() || (value.front() != ' ' && value.back() != ' '));
    if (plain) return value;
    std::string out = "{";
    for (char c : value) {
        out += c;
        if (c == '}') out += '}';
    }
    return out + "}";
}

bool UsableKey(const std::string& key) {
    return !key.empty() && key.find_first_of(";={}") == std::string::npos;
}

}  // namespace

std::string OdbcFileConnectionString(const std::string& dataSource, const std::string& user,
                                     const std::string& password) {
    namespace plat = tessaro::platform;
    if (dataSource.empty()) return {};
    for (const std::string& file : plat::OdbcDataSourceFiles()) {
        std::string section;
        for (const std::string& name : plat::IniSectionNames(file))
            if (plat::EqualsNoCase(name, dataSource)) section = name;
        if (section.empty()) continue;
        constexpr std::size_t kLongValue = 4096;
        std::string driver = plat::IniGetString(file, section, "Driver", "", kLongValue);
        if (driver.empty() || driver.find('}') != std::string::npos) return {};
        std::string text = "DRIVER={" + driver + "};";
        for (const std::string& key : plat::IniKeyNames(file, section)) {
            if (plat::EqualsNoCase(key, "Driver") || !UsableKey(key)) continue;
            text += key + "=" + Braced(plat::IniGetString(file, section, key, "", kLongValue)) + ";";
        }
        if (!user.empty()) text += "UID=" + Braced(user) + ";PWD=" + Braced(password) + ";";
        return text;
    }
    return {};
}

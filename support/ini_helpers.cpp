#include "support/ini_helpers.h"

#include <mutex>

#include "platform/home.h"
#include "platform/ini_file.h"
#include "platform/path_util.h"
#include "support/text_helpers.h"

namespace plat = tessaro::platform;

std::string GetIniFilePath() {
    // The program's own file lives in the Windows directory: the program's folder
    // is not writable on an installed system.
    static std::once_flag once;
    static std::string name;
    std::call_once(once, [] { name = UpperCopy(plat::ProgramName()) + ".INI"; });
    return plat::JoinPath(plat::WindowsDirectory(), name);
}

std::string ResolveIniFile(const std::string& file) {
    if (file.empty()) return GetIniFilePath();
    if (file.find_first_of("/\\") == std::string::npos) return plat::JoinPath(plat::WindowsDirectory(), file);
    return plat::ToUnixPath(file);
}

std::string GetIniString(const std::string& section, const std::string& key, const std::string& defaultValue) {
    return GetIniString(section, key, defaultValue, std::string());
}

std::string GetIniString(const std::string& section, const std::string& key, const std::string& defaultValue,
                         const std::string& file) {
    return plat::IniGetString(ResolveIniFile(file), section, key, defaultValue, 255);
}

long GetIniInt(const std::string& section, const std::string& key, long defaultValue) {
    return GetIniInt(section, key, defaultValue, std::string());
}

long GetIniInt(const std::string& section, const std::string& key, long defaultValue, const std::string& file) {
    return plat::IniGetInt(ResolveIniFile(file), section, key, defaultValue);
}

bool WriteIniString(const std::string& section, const std::string& key, const std::string& value) {
    return WriteIniString(section, key, value, std::string());
}

bool WriteIniString(const std::string& section, const std::string& key, const std::string& value,
                    const std::string& file) {
    return plat::IniWriteString(ResolveIniFile(file), section, key, value);
}

bool DeleteIniSection(const std::string& section) {
    return DeleteIniSection(section, std::string());
}

bool DeleteIniSection(const std::string& section, const std::string& file) {
    return plat::IniDeleteSection(ResolveIniFile(file), section);
}

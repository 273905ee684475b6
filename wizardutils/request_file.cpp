#include "wizardutils/request_file.h"

#include "platform/ini_file.h"

namespace tessaro::wizardutils {

namespace {
constexpr std::size_t kKeyNamesBuffer = 16000;
constexpr std::size_t kValueBuffer = 255;
}  // namespace

AnswerList CRequestFile::ReadSectionInOrder(const std::string& section) const {
    AnswerList entries;
    std::size_t used = 1;  // the list's closing NUL
    for (const std::string& key : platform::IniKeyNames(m_path, section)) {
        if (used + key.size() + 1 > kKeyNamesBuffer) break;
        used += key.size() + 1;
        entries.emplace_back(key, platform::IniGetString(m_path, section, key, "", kValueBuffer));
    }
    return entries;
}

RequestSection CRequestFile::ReadSection(const std::string& section) const {
    RequestSection map;
    for (auto& [key, value] : ReadSectionInOrder(section)) map.emplace(key, value);
    return map;
}

std::string CRequestFile::ReadValue(const std::string& section, const std::string& key,
                                    const std::string& defaultValue) const {
    return platform::IniGetString(m_path, section, key, defaultValue, kValueBuffer);
}

bool CRequestFile::WriteValue(const std::string& section, const std::string& key, const std::string& value) const {
    return platform::IniWriteString(m_path, section, key, value);
}

}  // namespace tessaro::wizardutils

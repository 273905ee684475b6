#include "support/server_settings.h"

#include "support/registry.h"

CServerSettings::CServerSettings(CRegistrySettings* settings, long rootKey)
    : m_rootKey(rootKey), m_pSettings(settings) {}

CServerSettings::~CServerSettings() = default;

std::string CServerSettings::GetString(const std::string& section, const std::string& name,
                                       const std::string& defaultValue) {
    return m_pSettings ? m_pSettings->GetString(section, name, defaultValue) : defaultValue;
}

long CServerSettings::GetNumber(const std::string& section, const std::string& name, long defaultValue) {
    return m_pSettings ? m_pSettings->GetNumber(section, name, defaultValue) : defaultValue;
}

CRegistrySettings* CServerSettings::GetRegistrySettings() {
    return m_pSettings;
}

// The settings facade pages and the dispatcher read configuration through.
#pragma once

#include <string>

class CRegistrySettings;

class CServerSettings {
public:
    // settings is not owned.
    explicit CServerSettings(CRegistrySettings* settings, long rootKey = 0);
    virtual ~CServerSettings();

    virtual std::string GetString(const std::string& section, const std::string& name, const std::string& defaultValue);
    virtual long GetNumber(const std::string& section, const std::string& name, long defaultValue);
    virtual CRegistrySettings* GetRegistrySettings();

private:
    long m_rootKey;
    CRegistrySettings* m_pSettings;
};

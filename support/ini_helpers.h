// The engine's profile calls. Without a file name they use the program's own
// initialisation file, <Windows directory>/<PROGRAM>.INI; a bare file name
// ("KSML.INI") is looked for in the Windows directory; a path is used as given.
#pragma once

#include <string>

std::string GetIniFilePath();
std::string ResolveIniFile(const std::string& file);

// Strings are read into a 255-character buffer.
std::string GetIniString(const std::string& section, const std::string& key, const std::string& defaultValue);
std::string GetIniString(const std::string& section, const std::string& key, const std::string& defaultValue,
                         const std::string& file);
long GetIniInt(const std::string& section, const std::string& key, long defaultValue);
long GetIniInt(const std::string& section, const std::string& key, long defaultValue, const std::string& file);
bool WriteIniString(const std::string& section, const std::string& key, const std::string& value);
bool WriteIniString(const std::string& section, const std::string& key, const std::string& value,
                    const std::string& file);
bool DeleteIniSection(const std::string& section);
bool DeleteIniSection(const std::string& section, const std::string& file);

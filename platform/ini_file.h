// Initialisation (profile) files: [Section] headers and Key=Value lines, with
// case-insensitive section and key names. Writers hold flock() on the file while
// they rewrite it (through a temporary file and rename); readers take a shared lock.
// Paths may use '\' or '/'; a missing file resolves case-insensitively.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace tessaro::platform {

// Reads a value into a buffer of bufferSize characters including the NUL, so at
// most bufferSize - 1 characters are returned (255 as the profile API's callers
// use). Blanks around the value and one pair of surrounding quotes are removed.
// The default when the file, section or key is missing.
std::string IniGetString(const std::string& file, const std::string& section, const std::string& key,
                         const std::string& defaultValue, std::size_t bufferSize = 255);

// Reads a value as a number: leading blanks, optional sign, decimal digits;
// the default when the key is missing, 0 when it does not start with a number.
long IniGetInt(const std::string& file, const std::string& section, const std::string& key, long defaultValue);

// Writes a value, creating the file and section when missing. False on failure,
// also for names or values with line breaks, a key with '=' or a section with ']'.
bool IniWriteString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value);

bool IniDeleteKey(const std::string& file, const std::string& section, const std::string& key);
bool IniDeleteSection(const std::string& file, const std::string& section);

// Every Key=Value of a section in file order, in one read (values whole, not cut to a buffer).
std::vector<std::pair<std::string, std::string>> IniSectionEntries(const std::string& file,
                                                                   const std::string& section);

// Writes a section with exactly these entries in one rewrite of the file (creating it when
// missing); no entries removes the section. False on failure, also for names or values with
// line breaks, a key with '=' or a section with ']'.
bool IniReplaceSection(const std::string& file, const std::string& section,
                       const std::vector<std::pair<std::string, std::string>>& entries);

// Section names in file order; key names of a section in file order.
std::vector<std::string> IniSectionNames(const std::string& file);
std::vector<std::string> IniKeyNames(const std::string& file, const std::string& section);

}  // namespace tessaro::platform

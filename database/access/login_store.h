// Stored logins of data sources, used when a template names no user. The administration
// program leaves them in the registry (DataSources\<name>: UserID, scrambled Password); the
// first use moves them into KSML.INI (section <name>: DBUserID, scrambled DBPassword) and
// blanks the registry values; afterwards the file is read.
#pragma once

#include <string>

class CRegistrySettings;

inline constexpr const char* kLoginStoreFile = "KSML.INI";
// Default of every read from the file: the key is absent. Never written.
inline constexpr const char* kLoginStoreAbsent = "nioju0909TS_EMPTY_ODBC_AUTHENTICATION_VALUE879ty9876b98";

// The stored user name / plain password of a data source (possibly empty). settings may be
// null: then only the file is consulted.
std::string GetDataSourceUserID(CRegistrySettings* settings, const std::string& dataSource);
std::string GetDataSourcePassword(CRegistrySettings* settings, const std::string& dataSource);

// Write the file's values (the password scrambled). False when the file could not be written.
bool WriteDataSourceUserID(const std::string& dataSource, const std::string& user);
bool WriteDataSourcePassword(const std::string& dataSource, const std::string& password);

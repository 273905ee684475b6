// Where the ODBC drivers the tests use are installed. Distributions put them in different
// library folders, so they are looked up, never assumed.
#pragma once

#include <string>

namespace tessaro::test {

// The installed driver library with this file name, or "" when no library folder has it.
std::string FindOdbcDriver(const std::string& fileName);

// The SQLite 3 and PostgreSQL (Unicode) drivers, looked up once; "" when not installed.
const std::string& SQLiteOdbcDriverPath();
const std::string& PostgresOdbcDriverPath();

}  // namespace tessaro::test

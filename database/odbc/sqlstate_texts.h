// Short meanings of the ODBC 2 SQLSTATEs, for the titles of ODBC error pages.
#pragma once

#include <string>

// The text of a SQLSTATE, matched exactly (case-sensitive); "" when unknown.
std::string GetSqlStateText(const std::string& sqlState);

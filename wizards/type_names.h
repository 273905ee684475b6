// Column type names as the catalogue gives them, compared by the wizards' type rules.
// Drivers that keep the declared type ("varchar(20)", "numeric(10,2)") are cut at "(" and
// trimmed first, and case does not matter.
#pragma once

#include <string>

namespace tessaro::wizards {

// "varchar(20) " -> "VARCHAR".
std::string BaseTypeName(const std::string& typeName);

// Text columns take their values in single quotes in generated SQL: TEXT, LONGTEXT, CHAR,
// MEMO, ALPHANUMERIC, VARCHAR.
bool IsTextType(const std::string& typeName);

// Number columns take their values through Val() in generated SQL, so no request value can
// change the statement; every other column takes them quoted as text.
bool IsNumericType(const std::string& typeName);

}  // namespace tessaro::wizards

#include "wizards/type_names.h"

#include "support/text_helpers.h"

namespace tessaro::wizards {

std::string BaseTypeName(const std::string& typeName) {
    return UpperCopy(TrimmedCopy(typeName.substr(0, typeName.find('('))));
}

bool IsTextType(const std::string& typeName) {
    std::string base = BaseTypeName(typeName);
    for (const char* text : {"TEXT", "LONGTEXT", "CHAR", "MEMO", "ALPHANUMERIC", "VARCHAR"})
        if (base == text) return true;
    return false;
}

bool IsNumericType(const std::string& typeName) {
    std::string base = BaseTypeName(typeName);
    for (const char* number :
         {"INTEGER",  "INT",      "BIGINT",     "SMALLINT", "TINYINT", "COUNTER", "LONG",   "SHORT",
          "BIT",      "NUMERIC",  "DECIMAL",    "NUMBER",   "FLOAT",   "REAL",    "DOUBLE", "DOUBLE PRECISION",
          "CURRENCY", "MONEY",    "SMALLMONEY", "INT2",     "INT4",    "INT8",    "FLOAT4", "FLOAT8",
          "SERIAL",   "BIGSERIAL"})
        if (base == number) return true;
    return false;
}

}  // namespace tessaro::wizards

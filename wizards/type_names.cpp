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

}  // namespace tessaro::wizards

// String functions: comparison, search, trimming, case, cutting, padding and character codes.
#include "engine/expressions/function_family.h"

namespace {

const FunctionTableRow kRows[] = {
    {"Compare", 2, PackArgTypes(2, 2, 0, 0), nullptr},
    {"CompareNoCase", 2, PackArgTypes(2, 2, 0, 0), nullptr},
    {"Find", -2, PackArgTypes(2, 2, 9, 0), nullptr},
    {"FindNoCase", -2, PackArgTypes(2, 2, 9, 0), nullptr},
    {"FindOneOf", -2, PackArgTypes(2, 2, 9, 0), nullptr},
    {"LTrim", 1, PackArgTypes(2, 0, 0, 0), nullptr},
    {"RTrim", 1, PackArgTypes(2, 0, 0, 0), nullptr},
    {"Trim", 1, PackArgTypes(2, 0, 0, 0), nullptr},
    {"LCase", 1, PackArgTypes(2, 0, 0, 0), nullptr},
    {"UCase", 1, PackArgTypes(2, 0, 0, 0), nullptr},
    {"Len", 1, PackArgTypes(2, 0, 0, 0), nullptr},
    {"Left", 2, PackArgTypes(2, 9, 0, 0), nullptr},
    {"Right", 2, PackArgTypes(2, 9, 0, 0), nullptr},
    {"Mid", 3, PackArgTypes(2, 9, 8, 0), nullptr},
    {"RepeatString", 2, PackArgTypes(2, 8, 0, 0), nullptr},
    {"Val", 1, PackArgTypes(2, 0, 0, 0), nullptr},
    {"Insert", 3, PackArgTypes(2, 2, 8, 0), nullptr},
    {"RemoveChars", 3, PackArgTypes(2, 9, 8, 0), nullptr},
    {"LJustify", 2, PackArgTypes(2, 9, 0, 0), nullptr},
    {"RJustify", 2, PackArgTypes(2, 9, 0, 0), nullptr},
    {"CJustify", 2, PackArgTypes(2, 9, 0, 0), nullptr},
    {"Chr", 1, PackArgTypes(8, 0, 0, 0), nullptr},
    {"Asc", 1, PackArgTypes(2, 0, 0, 0), nullptr},
    {"Reverse", 1, PackArgTypes(2, 0, 0, 0), nullptr},
};

}  // namespace

extern const FunctionFamily kStringFunctions{kRows, std::size(kRows)};

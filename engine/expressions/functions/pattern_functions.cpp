// Pattern, character-set and token functions: spans, literal and regular-expression
// replacement and search, replacement lists and tokens.
#include "engine/expressions/function_family.h"

namespace {

const FunctionTableRow kRows[] = {
    {"SpanIncluding", 2, PackArgTypes(2, 2, 0, 0), nullptr},
    {"SpanExcluding", 2, PackArgTypes(2, 2, 0, 0), nullptr},
    {"Replace", -3, PackArgTypes(2, 2, 2, 2), nullptr},
    {"REFind", -2, PackArgTypes(2, 2, 9, 0), nullptr},
    {"REReplace", -3, PackArgTypes(2, 2, 2, 2), nullptr},
    {"GetToken", -2, PackArgTypes(2, 9, 2, 0), nullptr},
    {"ReplaceList", 3, PackArgTypes(2, 2, 2, 0), nullptr},
};

}  // namespace

extern const FunctionFamily kPatternFunctions{kRows, std::size(kRows)};

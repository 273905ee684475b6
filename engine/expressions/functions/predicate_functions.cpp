// Yes-or-no predicates (FileExists, IsBoolean, IsNumeric) and the date and time pictures
// (DateFormat, TimeFormat).
#include "engine/expressions/function_family.h"

namespace {

const FunctionTableRow kRows[] = {
    {"IsBoolean", 1, PackArgTypes(0, 0, 0, 0), nullptr},
    {"IsNumeric", 1, PackArgTypes(2, 0, 0, 0), nullptr},
    {"FileExists", 1, PackArgTypes(2, 0, 0, 0), nullptr},
    {"DateFormat", -1, PackArgTypes(2, 2, 0, 0), nullptr},
    {"TimeFormat", -1, PackArgTypes(2, 2, 0, 0), nullptr},
};

}  // namespace

extern const FunctionFamily kPredicateFunctions{kRows, std::size(kRows)};

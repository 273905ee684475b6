// ODBC date literals, time spans and the date tests.
#include "engine/expressions/function_family.h"

namespace {

const FunctionTableRow kRows[] = {
    {"CreateTimeSpan", 4, PackArgTypes(4, 4, 4, 4), nullptr},
    {"CreateODBCDateTime", 1, PackArgTypes(10, 0, 0, 0), nullptr},
    {"CreateODBCDate", 1, PackArgTypes(10, 0, 0, 0), nullptr},
    {"CreateODBCTime", 1, PackArgTypes(10, 0, 0, 0), nullptr},
    {"IsDate", 1, PackArgTypes(2, 0, 0, 0), nullptr},
    {"IsNumericDate", 1, PackArgTypes(4, 0, 0, 0), nullptr},
};

}  // namespace

extern const FunctionFamily kDateLiteralFunctions{kRows, std::size(kRows)};

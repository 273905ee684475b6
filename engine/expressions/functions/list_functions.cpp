// List functions: delimited lists read, searched and rebuilt element by element.
#include "engine/expressions/function_family.h"

namespace {

const FunctionTableRow kRows[] = {
    {"ListLen", -1, PackArgTypes(2, 2, 0, 0), nullptr},
    {"ListFirst", -1, PackArgTypes(2, 2, 0, 0), nullptr},
    {"ListLast", -1, PackArgTypes(2, 2, 0, 0), nullptr},
    {"ListRest", -1, PackArgTypes(2, 2, 0, 0), nullptr},
    {"ListGetAt", -2, PackArgTypes(2, 9, 2, 0), nullptr},
    {"ListSetAt", -3, PackArgTypes(2, 9, 2, 2), nullptr},
    {"ListDeleteAt", -2, PackArgTypes(2, 9, 2, 0), nullptr},
    {"ListInsertAt", -3, PackArgTypes(2, 9, 2, 2), nullptr},
    {"ListPrepend", -2, PackArgTypes(2, 2, 2, 0), nullptr},
    {"ListAppend", -2, PackArgTypes(2, 2, 2, 0), nullptr},
    {"ListFind", -2, PackArgTypes(2, 2, 2, 0), nullptr},
    {"ListFindNoCase", -2, PackArgTypes(2, 2, 2, 0), nullptr},
    {"ListContains", -2, PackArgTypes(2, 2, 2, 0), nullptr},
    {"ListContainsNoCase", -2, PackArgTypes(2, 2, 2, 0), nullptr},
    {"ListChangeDelims", -2, PackArgTypes(2, 2, 2, 0), nullptr},
};

}  // namespace

extern const FunctionFamily kListFunctions{kRows, std::size(kRows)};

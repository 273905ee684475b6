// Context functions: nested evaluation, variables and client variables of the running
// request, temporary files and the parts of paths.
#include "engine/expressions/function_family.h"

namespace {

const FunctionTableRow kRows[] = {
    {"Evaluate", -1, PackArgTypes(2, 0, 0, 0), nullptr},
    {"SetVariable", 2, PackArgTypes(12, 2, 0, 0), nullptr},
    {"IIf", 3, PackArgTypes(1, 2, 2, 0), nullptr},
    {"DE", 1, PackArgTypes(2, 0, 0, 0), nullptr},
    {"DeleteClientVariable", 1, PackArgTypes(12, 0, 0, 0), nullptr},
    {"GetClientVariablesList", 0, PackArgTypes(0, 0, 0, 0), nullptr},
    {"GetTempDirectory", 0, PackArgTypes(0, 0, 0, 0), nullptr},
    {"GetTempFile", 2, PackArgTypes(2, 2, 0, 0), nullptr},
    {"GetFileFromPath", 1, PackArgTypes(2, 0, 0, 0), nullptr},
    {"GetDirectoryFromPath", 1, PackArgTypes(2, 0, 0, 0), nullptr},
    {"ExpandPath", 1, PackArgTypes(16, 0, 0, 0), nullptr},
    {"GetTemplatePath", 0, PackArgTypes(0, 0, 0, 0), nullptr},
};

}  // namespace

extern const FunctionFamily kContextFunctions{kRows, std::size(kRows)};

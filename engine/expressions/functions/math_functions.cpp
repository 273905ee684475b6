// Math functions: absolute value, rounding, trigonometry, logarithms, radix conversion
// and the per-request random numbers.
#include "engine/expressions/function_family.h"

namespace {

const FunctionTableRow kRows[] = {
    {"Abs", 1, PackArgTypes(4, 0, 0, 0), nullptr},
    {"Atn", 1, PackArgTypes(4, 0, 0, 0), nullptr},
    {"Ceiling", 1, PackArgTypes(4, 0, 0, 0), nullptr},
    {"Cos", 1, PackArgTypes(4, 0, 0, 0), nullptr},
    {"Exp", 1, PackArgTypes(4, 0, 0, 0), nullptr},
    {"Int", 1, PackArgTypes(4, 0, 0, 0), nullptr},
    {"Fix", 1, PackArgTypes(4, 0, 0, 0), nullptr},
    {"Log", 1, PackArgTypes(5, 0, 0, 0), nullptr},
    {"Log10", 1, PackArgTypes(5, 0, 0, 0), nullptr},
    {"Max", 2, PackArgTypes(4, 4, 0, 0), nullptr},
    {"Min", 2, PackArgTypes(4, 4, 0, 0), nullptr},
    {"Pi", 0, PackArgTypes(0, 0, 0, 0), nullptr},
    {"Round", 1, PackArgTypes(4, 0, 0, 0), nullptr},
    {"Sgn", 1, PackArgTypes(4, 0, 0, 0), nullptr},
    {"Sin", 1, PackArgTypes(4, 0, 0, 0), nullptr},
    {"Sqr", 1, PackArgTypes(6, 0, 0, 0), nullptr},
    {"Tan", 1, PackArgTypes(4, 0, 0, 0), nullptr},
    {"InputBaseN", 2, PackArgTypes(2, 13, 0, 0), nullptr},
    {"FormatBaseN", 2, PackArgTypes(3, 13, 0, 0), nullptr},
    {"Randomize", 1, PackArgTypes(3, 0, 0, 0), nullptr},
    {"Rand", 0, PackArgTypes(0, 0, 0, 0), nullptr},
    {"RandRange", 2, PackArgTypes(3, 3, 0, 0), nullptr},
};

}  // namespace

extern const FunctionFamily kMathFunctions{kRows, std::size(kRows)};

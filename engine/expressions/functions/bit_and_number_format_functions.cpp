// Bit functions on 32-bit integers, the wrapping counters, and the number, decimal and
// currency formatters.
#include "engine/expressions/function_family.h"

namespace {

const FunctionTableRow kRows[] = {
    {"BitAnd", 2, PackArgTypes(3, 3, 0, 0), nullptr},
    {"BitNot", 1, PackArgTypes(3, 0, 0, 0), nullptr},
    {"BitOr", 2, PackArgTypes(3, 3, 0, 0), nullptr},
    {"BitMaskClear", 3, PackArgTypes(3, 7, 7, 0), nullptr},
    {"BitMaskRead", 3, PackArgTypes(3, 7, 7, 0), nullptr},
    {"BitMaskSet", 4, PackArgTypes(3, 3, 7, 7), nullptr},
    {"BitSHLN", 2, PackArgTypes(3, 3, 0, 0), nullptr},
    {"BitSHRN", 2, PackArgTypes(3, 3, 0, 0), nullptr},
    {"BitXor", 2, PackArgTypes(3, 3, 0, 0), nullptr},
    {"DecrementValue", 1, PackArgTypes(3, 0, 0, 0), nullptr},
    {"IncrementValue", 1, PackArgTypes(3, 0, 0, 0), nullptr},
    {"NumberFormat", -1, PackArgTypes(2, 2, 0, 0), nullptr},
    {"DecimalFormat", 1, PackArgTypes(2, 0, 0, 0), nullptr},
    {"DollarFormat", 1, PackArgTypes(2, 0, 0, 0), nullptr},
};

}  // namespace

extern const FunctionFamily kBitAndNumberFormatFunctions{kRows, std::size(kRows)};

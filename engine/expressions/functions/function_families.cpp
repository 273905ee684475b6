// The list of built-in function families. The rows of a family stand in its own file; a
// new family adds its file and one line here. The order here is the registration order.
#include "engine/expressions/function_family.h"

#include <vector>

extern const FunctionFamily kMathFunctions;
extern const FunctionFamily kBitAndNumberFormatFunctions;
extern const FunctionFamily kPredicateFunctions;
extern const FunctionFamily kStringFunctions;
extern const FunctionFamily kPatternFunctions;
extern const FunctionFamily kTextFormatFunctions;
extern const FunctionFamily kDateFunctions;
extern const FunctionFamily kDateLiteralFunctions;
extern const FunctionFamily kListFunctions;
extern const FunctionFamily kContextFunctions;

namespace {

const FunctionFamily* const kFamilies[] = {
    &kMathFunctions,      &kBitAndNumberFormatFunctions,
    &kPredicateFunctions, &kStringFunctions,
    &kPatternFunctions,   &kTextFormatFunctions,
    &kDateFunctions,      &kDateLiteralFunctions,
    &kListFunctions,      &kContextFunctions,
};

}  // namespace

const FunctionTableRow* BuiltinFunctionTable(std::size_t& count) {
    static const std::vector<FunctionTableRow> rows = [] {
        std::vector<FunctionTableRow> all;
        for (const FunctionFamily* family : kFamilies)
            all.insert(all.end(), family->rows, family->rows + family->count);
        return all;
    }();
    count = rows.size();
    return rows.data();
}

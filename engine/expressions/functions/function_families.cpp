// The rows of every built-in function family of function_families.def, in its order,
// which is the registration order.
#include "engine/expressions/function_family.h"

#include <vector>

namespace {

const FunctionFamily* const kFamilies[] = {
#define FUNCTION_FAMILY(name) &name,
#include "engine/expressions/functions/function_families.def"
#undef FUNCTION_FAMILY
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

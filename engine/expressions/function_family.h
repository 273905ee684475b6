// One family of built-in functions: the table rows one file registers. Each family file
// defines its function classes and a `FunctionFamily` with its rows; the list of families
// is functions/function_families.def, one line per family.
#pragma once

#include <cstddef>
#include <iterator>
#include <memory>

#include "engine/expressions/function_registry.h"

struct FunctionFamily {
    const FunctionTableRow* rows;
    std::size_t count;
};

// Every family of the list, declared here for its own file and for the list.
#define FUNCTION_FAMILY(name) extern const FunctionFamily name;
#include "engine/expressions/functions/function_families.def"
#undef FUNCTION_FAMILY

// The maker of a table row for a function class with a default constructor.
template <class Function>
std::unique_ptr<CTSFunction> MakeFunction() {
    return std::make_unique<Function>();
}

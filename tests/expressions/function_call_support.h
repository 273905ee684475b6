// Calls of one built-in function with typed arguments, for the family tests: each
// argument is the value of its own expression, so an integer stays an integer and a text a
// text, and a failure keeps its own code (the driver reports every failure with code 0).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/expressions/expression_test_support.h"

namespace exprtest {

Failure CallFailure(const std::string& name, const std::vector<std::string>& arguments, FakeRuntime* runtime = nullptr);

// A failing call, checked twice: called directly (exact code and text) and written as an
// expression through the driver (the same text reaches the author).
struct FunctionErrorCase {
    const char* name;
    std::vector<std::string> arguments;
    std::uint32_t code;
    const char* text;
};
void ExpectFunctionError(const FunctionErrorCase& c, FakeRuntime* runtime = nullptr);

// An expression and the text of its value.
struct ValueRow {
    const char* expression;
    const char* text;
};

}  // namespace exprtest

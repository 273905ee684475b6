// Calls of one built-in function straight through the registry, for the exact code of
// an error (the evaluator rewords author errors to code 0), and the table types of the
// function tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/expressions/expression_test_support.h"

namespace exprtest {

// The function called with text arguments, as the grammar hands them over.
std::string CallText(const char* name, const std::vector<std::string>& args, CRuntimeInterface* runtime = nullptr);
Failure CallFailure(const char* name, const std::vector<std::string>& args, CRuntimeInterface* runtime = nullptr);

struct TextCase {
    const char* expression;
    std::string expected;
};

struct ErrorCase {
    const char* function;
    std::vector<std::string> args;
    std::uint32_t code;
    std::string text;
};

}  // namespace exprtest

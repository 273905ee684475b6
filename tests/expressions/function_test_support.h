// Calls of one built-in function straight through the registry, for the exact code of
// an error (the evaluator rewords author errors to code 0), and the table types of the
// function family tests.
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

// A failing call, checked twice: called with each argument the value of its own expression
// (an integer stays an integer, a text a text), for the exact code and text, and written as
// an expression through the driver (the same text reaches the author).
struct FunctionErrorCase {
    const char* name;
    std::vector<std::string> arguments;
    std::uint32_t code;
    const char* text;
};
void ExpectFunctionError(const FunctionErrorCase& c, FakeRuntime* runtime = nullptr);

// A call with an argument that no expression can make any more: a real that is not
// finite (every operator refuses such a result). The arguments are texts, except the
// one at `position` (1-based), which is the real `value`.
struct NonFiniteCase {
    const char* name;
    std::vector<std::string> arguments;
    unsigned position;
    double value;
    const char* text;
};
// The call fails with 0x400A and the text.
void ExpectNonFiniteRefused(const NonFiniteCase& c);

// An expression and the text of its value.
struct ValueRow {
    const char* expression;
    const char* text;
};

}  // namespace exprtest

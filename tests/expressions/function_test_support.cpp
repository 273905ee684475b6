#include "tests/expressions/function_test_support.h"

#include <gtest/gtest.h>

#include "engine/expressions/expression_parser.h"
#include "engine/expressions/function_registry.h"

namespace exprtest {

namespace {

void Call(const char* name, const std::vector<std::string>& args, CRuntimeInterface* runtime,
          ExprYaccStackElement& result) {
    CExprArgumentList list;
    for (const std::string& text : args) {
        SSRefPtr<ExprYaccStackElement> value(new ExprYaccStackElement);
        MakeText(*value, text);
        list.Append(value);
    }
    Driver().Functions().FindFunction(runtime, name, &list, &result);
}

// The call with each argument evaluated as an expression of its own.
Failure EvaluatedCallFailure(const std::string& name, const std::vector<std::string>& arguments,
                             FakeRuntime* runtime) {
    FakeRuntime local;
    FakeRuntime* rt = runtime ? runtime : &local;
    CExprArgumentList list;
    for (const std::string& text : arguments) {
        ExprYaccClass parser(&Driver().Operators(), rt, &Driver().Functions());
        Driver().Evaluate(parser, text.c_str(), -1);
        SSRefPtr<ExprYaccStackElement> value(new ExprYaccStackElement());
        CopyValue(parser.result(), *value);
        list.Append(value);
    }
    ExprYaccStackElement result;
    return Catch([&] { Driver().Functions().FindFunction(rt, name.c_str(), &list, &result); });
}

}  // namespace

std::string CallText(const char* name, const std::vector<std::string>& args, CRuntimeInterface* runtime) {
    ExprYaccStackElement result;
    Call(name, args, runtime, result);
    return result.AsStdString();
}

Failure CallFailure(const char* name, const std::vector<std::string>& args, CRuntimeInterface* runtime) {
    return Catch([&] {
        ExprYaccStackElement result;
        Call(name, args, runtime, result);
    });
}

void ExpectNonFiniteRefused(const NonFiniteCase& c) {
    CExprArgumentList list;
    for (std::size_t i = 0; i < c.arguments.size(); ++i) {
        SSRefPtr<ExprYaccStackElement> value(new ExprYaccStackElement);
        if (i + 1 == c.position)
            value->SetReal(c.value);
        else
            MakeText(*value, c.arguments[i]);
        list.Append(value);
    }
    ExprYaccStackElement result;
    const Failure f = Catch([&] { Driver().Functions().FindFunction(nullptr, c.name, &list, &result); });
    EXPECT_TRUE(f.thrown) << c.name;
    EXPECT_EQ(f.code, 0x400Au) << c.name;
    EXPECT_EQ(f.text, c.text) << c.name;
}

void ExpectFunctionError(const FunctionErrorCase& c, FakeRuntime* runtime) {
    const Failure direct = EvaluatedCallFailure(c.name, c.arguments, runtime);
    std::string expression = std::string(c.name) + "(";
    for (std::size_t i = 0; i < c.arguments.size(); ++i) expression += (i ? "," : "") + c.arguments[i];
    expression += ")";
    EXPECT_TRUE(direct.thrown) << expression;
    EXPECT_EQ(direct.code, c.code) << expression;
    EXPECT_EQ(direct.text, c.text) << expression;
    const Failure viaDriver = EvalFailure(expression, runtime);
    EXPECT_TRUE(viaDriver.thrown) << expression;
    EXPECT_EQ(viaDriver.text, c.text) << expression;
}

}  // namespace exprtest

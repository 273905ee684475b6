#include "tests/expressions/function_call_support.h"

#include <gtest/gtest.h>

#include "engine/expressions/expression_parser.h"

namespace exprtest {

Failure CallFailure(const std::string& name, const std::vector<std::string>& arguments, FakeRuntime* runtime) {
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

void ExpectFunctionError(const FunctionErrorCase& c, FakeRuntime* runtime) {
    const Failure direct = CallFailure(c.name, c.arguments, runtime);
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

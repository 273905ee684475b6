#include "tests/expressions/function_test_support.h"

#include <memory>

#include "engine/expressions/function_registry.h"

namespace exprtest {

namespace {

const CFunctionRegistry& Registry() {
    static const std::unique_ptr<CFunctionRegistry> registry = BuildFunctionRegistry();
    return *registry;
}

void Call(const char* name, const std::vector<std::string>& args, CRuntimeInterface* runtime,
          ExprYaccStackElement& result) {
    CExprArgumentList list;
    for (const std::string& text : args) {
        SSRefPtr<ExprYaccStackElement> value(new ExprYaccStackElement);
        MakeText(*value, text);
        list.Append(value);
    }
    Registry().FindFunction(runtime, name, &list, &result);
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

}  // namespace exprtest

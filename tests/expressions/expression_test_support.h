// Shared pieces of the expression tests: a request stand-in with variables in one map,
// the process's evaluator, and helpers that turn thrown evaluator errors into values.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/expressions/expression_driver.h"
#include "engine/expressions/expression_exception.h"
#include "engine/expressions/expression_value.h"
#include "engine/expressions/runtime_interface.h"

namespace exprtest {

// Variables by exact name; a missing one throws the signaling exception as the engine does.
class FakeRuntime : public CRuntimeInterface {
public:
    std::map<std::string, std::string> variables;
    int escape = 0;
    std::vector<std::string> lookups;
    std::vector<int> rows;

    void LookupVariable(const std::string& name, int row, std::string& value, int mustExist) override;
    CExpressionQuery* FindQuery(const std::string&) override { return nullptr; }
    int EscapeSingleQuotes() override { return escape; }
    void Evaluate(std::string& value, const std::string& text, int row) override;
    void EvaluateTraced(CTracedText& value, const CTracedView& text, int row) override;
    void SetVariable(const std::string& name, const std::string& value) override { variables[name] = value; }
    void GetErrorReport(std::string& text) override { text.clear(); }
    void DeleteClientVariable(const std::string&) override {}
    void GetTemplatePath(std::string& path) override { path = "/t/page.tsm"; }
    void GetClientVariableList(std::string& text) override { text.clear(); }
};

// Built once per test program.
CExpressionEvaluationDriver& Driver();

struct Failure {
    bool thrown = false;
    std::uint32_t code = 0;
    std::string text;
};

// The text of the expression's value; a failure yields "<error>".
std::string Eval(const std::string& expression, FakeRuntime* runtime = nullptr);
bool EvalBool(const std::string& expression, FakeRuntime* runtime = nullptr);
Failure EvalFailure(const std::string& expression, FakeRuntime* runtime = nullptr);

// Runs the call and reports the CExpressionException it throws (deleting it).
template <class F>
Failure Catch(F&& call) {
    Failure f;
    try {
        call();
    } catch (CExpressionException* e) {
        f.thrown = true;
        f.code = e->GetCode();
        f.text = e->GetText();
        delete e;
    }
    return f;
}

// Values made as the producers make them.
void MakeText(ExprYaccStackElement& e, const std::string& text);

// Records the evaluator's log lines of this thread while alive.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    static std::vector<std::pair<std::string, std::string>>& Lines();
};

}  // namespace exprtest

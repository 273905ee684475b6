#include "tests/expressions/expression_test_support.h"

#include <gtest/gtest.h>

#include <optional>

#include "engine/expressions/expression_log.h"
#include "engine/parser/ss_exception.h"
#include "tests/common/temp_home.h"

namespace exprtest {

namespace {

// Each test program runs in a temporary runtime root of its own.
class HomeEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        m_home.emplace();
        ASSERT_FALSE(m_home->path().empty());
    }
    void TearDown() override { m_home.reset(); }

private:
    std::optional<tessaro::test::TempHome> m_home;
};

const ::testing::Environment* const kHome = ::testing::AddGlobalTestEnvironment(new HomeEnvironment);

void Record(const char* source, const char* text) {
    LogCapture::Lines().emplace_back(source, text);
}

}  // namespace

void FakeRuntime::LookupVariable(const std::string& name, int row, std::string& value, int) {
    lookups.push_back(name);
    rows.push_back(row);
    const auto it = variables.find(name);
    if (it == variables.end())
        throw CRuntimeInterfaceSignalingException("Error resolving parameter <B>" + name + "</B>",
                                                  "Variable not found");
    value = it->second;
}

// As the page does: an evaluator error of the nested text comes back as a request failure.
void FakeRuntime::Evaluate(std::string& value, const std::string& text, int row) {
    CTracedText traced;
    EvaluateTraced(traced, CTracedView::Literal(text), row);
    value = traced.TakeText();
}

void FakeRuntime::EvaluateTraced(CTracedText& value, const CTracedView& text, int row) {
    // As the engine does: a nested text keeps its caller's SQL context, and only the caller
    // doubles the quotes of values, once.
    try {
        Driver().EvaluateToTracedText(this, text, value, row);
    } catch (CExpressionException* e) {
        const std::string message = e->GetText();
        delete e;
        throw CRuntimeInterfaceException("An error has occurred while processing the expression", message);
    }
}

CExpressionEvaluationDriver& Driver() {
    static CExpressionEvaluationDriver driver;
    return driver;
}

std::string Eval(const std::string& expression, FakeRuntime* runtime) {
    FakeRuntime local;
    std::string out;
    const Failure f =
        Catch([&] { Driver().EvaluateToString(runtime ? runtime : &local, expression.c_str(), out, -1); });
    return f.thrown ? "<error>" : out;
}

bool EvalBool(const std::string& expression, FakeRuntime* runtime) {
    FakeRuntime local;
    int value = 0;
    const Failure f =
        Catch([&] { value = Driver().EvaluateToBoolean(runtime ? runtime : &local, expression.c_str(), -1); });
    EXPECT_FALSE(f.thrown) << expression << ": " << f.text;
    return value != 0;
}

Failure EvalFailure(const std::string& expression, FakeRuntime* runtime) {
    FakeRuntime local;
    std::string out;
    return Catch([&] { Driver().EvaluateToString(runtime ? runtime : &local, expression.c_str(), out, -1); });
}

void MakeText(ExprYaccStackElement& e, const std::string& text) {
    e.SetText(text);
}

LogCapture::LogCapture() {
    Lines().clear();
    SetExpressionLogObserver(Record);
}

LogCapture::~LogCapture() {
    SetExpressionLogObserver(nullptr);
}

std::vector<std::pair<std::string, std::string>>& LogCapture::Lines() {
    static thread_local std::vector<std::pair<std::string, std::string>> lines;
    return lines;
}

}  // namespace exprtest

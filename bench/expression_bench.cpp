// Expression evaluation as a page does it on every output line: a mix of arithmetic,
// comparisons, string concatenation and variable lookups through the request interface.
// items_per_second is evaluations per second.
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

#include "engine/expressions/expression_driver.h"

namespace {

// 100 rows of one column "name", for the column lists.
class BenchQuery : public CExpressionQuery {
public:
    int GetRowCount() override { return 100; }
    int FindColumn(const std::string& name) override { return name == "name" ? 1 : -1; }
    std::string GetCell(int row, int) override { return "name" + std::to_string(row); }
};

// A kilobyte of page text with a few words the searches look for.
std::string Kilobyte() {
    std::string text;
    while (text.size() < 1000) text += "Some <b>text</b> & words for the needle test; ";
    return text.substr(0, 1000) + "needle";
}

std::string HundredElements() {
    std::string list;
    for (int i = 1; i <= 100; ++i) list += (i > 1 ? "," : "") + std::string("item") + std::to_string(i);
    return list;
}

class BenchRuntime : public CRuntimeInterface {
public:
    std::map<std::string, std::string> variables{{"price", "19.95"},          {"qty", "3"},
                                                 {"name", "Widget"},          {"Form.Color", "blue"},
                                                 {"q.total", "120"},          {"padded", "   a padded form value   "},
                                                 {"list", HundredElements()}, {"kb", Kilobyte()}};
    BenchQuery query;
    void LookupVariable(const std::string& name, int, std::string& value, int) override {
        const auto it = variables.find(name);
        if (it == variables.end()) throw CRuntimeInterfaceSignalingException(name, "Variable not found");
        value = it->second;
    }
    CExpressionQuery* FindQuery(const std::string& name) override { return name == "q" ? &query : nullptr; }
    int EscapeSingleQuotes() override { return 0; }
    void Evaluate(std::string&, const std::string&, int) override {}
    void SetVariable(const std::string&, const std::string&) override {}
    void GetErrorReport(std::string&) override {}
    void DeleteClientVariable(const std::string&) override {}
    void GetTemplatePath(std::string&) override {}
    void GetClientVariableList(std::string&) override {}
};

const char* const kMix[] = {
    "1 + 2 * 3 - 4 / 2",
    "price * qty",
    "(qty MOD 2) IS 1 AND price GT 10",
    "\"Item: \" & name & \" (\" & Form.Color & \")\"",
    "q.total GTE 100 OR NOT qty LT 5",
    "\"#name# costs #price#\"",
    "name CONTAINS 'idg'",
    "2 ^ 10 \\ 3",
};

CExpressionEvaluationDriver& Driver() {
    static CExpressionEvaluationDriver driver;
    return driver;
}

void BM_ExpressionMix(benchmark::State& state) {
    BenchRuntime runtime;
    std::string out;
    std::size_t i = 0;
    for (auto _ : state) {
        Driver().EvaluateToString(&runtime, kMix[i], out, -1);
        benchmark::DoNotOptimize(out.data());
        i = (i + 1) % (sizeof kMix / sizeof kMix[0]);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ExpressionMix)->ThreadRange(1, 4)->UseRealTime();

void BM_Condition(benchmark::State& state) {
    BenchRuntime runtime;
    for (auto _ : state)
        benchmark::DoNotOptimize(Driver().EvaluateToBoolean(&runtime, "qty GT 2 AND name IS 'widget'", -1));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Condition);

// A block of page text as an output tag evaluates it: every attribute quote becomes a
// doubled quote, one string part each. items_per_second is blocks per second.
void BM_QuotedPageText(benchmark::State& state) {
    BenchRuntime runtime;
    std::string block;
    for (int i = 0; i < state.range(0); ++i) block += "<td class=\"c\" title=\"#name#\">#price#</td>";
    std::string expression, out;
    CExpressionEvaluationDriver::ConvertToStringExpression(("\"" + block + "\"").c_str(), expression);
    for (auto _ : state) {
        Driver().EvaluateToString(&runtime, expression.c_str(), out, -1);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QuotedPageText)->Arg(10)->Arg(1000)->Arg(10000);

// ---- Built-in functions: dates, numbers and branching ----
// One call per iteration; items_per_second is calls per second. The runtime evaluates
// nested texts through the driver, as a page does for IIf and Evaluate.
class NestingBenchRuntime : public BenchRuntime {
public:
    void Evaluate(std::string& value, const std::string& text, int row) override {
        Driver().EvaluateToString(this, text.c_str(), value, row);
    }
};

void RunFunctionCall(benchmark::State& state, const char* expression) {
    NestingBenchRuntime runtime;
    runtime.variables["x"] = "1234567.891";
    runtime.variables["a"] = "3";
    runtime.variables["b"] = "7";
    std::string out;
    for (auto _ : state) {
        Driver().EvaluateToString(&runtime, expression, out, -1);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
}

// One built-in function call per family, whole evaluations as a page runs them.
// items_per_second is evaluations per second.
struct FunctionRow {
    const char* name;
    const char* expression;
};

const FunctionRow kFunctionRows[] = {
    {"String/Len(Trim(x))", "Len(Trim(padded))"},
    {"List/ListGetAt(100 elements, 50)", "ListGetAt(list, 50)"},
    {"List/ListFindNoCase(100 elements)", "ListFindNoCase(list, 'ITEM99')"},
    {"Pattern/Replace(1 KB, ALL)", "Replace(kb, 'needle', 'pin', 'ALL')"},
    {"Pattern/REFind(1 KB)", "REFind('ne+dle', kb)"},
    {"Pattern/GetToken(1 KB, 20)", "GetToken(kb, 20)"},
    {"Format/HTMLEditFormat(1 KB)", "HTMLEditFormat(kb)"},
    {"Format/URLEncodedFormat(1 KB)", "URLEncodedFormat(kb)"},
    {"Format/ValueList(100 rows)", "ValueList(q.name)"},
};

void BM_Function(benchmark::State& state, const char* expression) {
    BenchRuntime runtime;
    std::string out;
    for (auto _ : state) {
        Driver().EvaluateToString(&runtime, expression, out, -1);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_DateFormatNow(benchmark::State& state) {
    RunFunctionCall(state, "DateFormat(Now(), \"mmmm d, yyyy\")");
}
BENCHMARK(BM_DateFormatNow);

void BM_NumberFormatMask(benchmark::State& state) {
    RunFunctionCall(state, "NumberFormat(x, \"9,999.99\")");
}
BENCHMARK(BM_NumberFormatMask);

void BM_DollarFormat(benchmark::State& state) {
    RunFunctionCall(state, "DollarFormat(x)");
}
BENCHMARK(BM_DollarFormat);

void BM_IIfWithDE(benchmark::State& state) {
    RunFunctionCall(state, "IIf(a GT b, DE(\"x\"), DE(\"y\"))");
}
BENCHMARK(BM_IIfWithDE);

const bool kFunctionRowsRegistered = [] {
    for (const FunctionRow& row : kFunctionRows)
        benchmark::RegisterBenchmark((std::string("BM_Function/") + row.name).c_str(), BM_Function, row.expression);
    return true;
}();

}  // namespace

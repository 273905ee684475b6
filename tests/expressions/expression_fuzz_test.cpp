// The expression evaluator under mutated input: the #...# expressions of the template guide,
// changed a few thousand times from a fixed seed, evaluated as text, as conditions and as SQL
// text. The only way out of an evaluation is a value or CExpressionException; anything else
// (another exception, a crash, a sanitizer report in the sanitizer build) is a finding.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "engine/expressions/function_result_limit.h"
#include "expression_test_support.h"
#include "tests/common/fuzz_mutator.h"

namespace {

// Every #...# expression of the guide's examples.
std::vector<std::string> GuideExpressions() {
    std::vector<std::string> expressions;
    for (const std::string& block : tessaro::test::GuideExampleBlocks()) {
        ExpressionSegmentList* segments = nullptr;
        try {
            segments = SplitPoundExpressions(block.c_str());
        } catch (CExpressionException* e) {
            delete e;
            continue;
        }
        for (const ExpressionSegment& segment : *segments)
            if (segment.kind == 2 && !segment.text.empty()) expressions.push_back(segment.text);
        FreeExpressionSegments(segments);
    }
    return expressions;
}

const std::vector<std::string> kExpressionWords = {
    "#", "\"", "'", "(", ")", ",", "&", "+", "-", "*", "/", "\\", "^", " MOD ", " AND ", " OR ", " NOT ", " IS ",
    " CONTAINS ", " GT ", "##", "\"\"", "''", "Left(", "Mid(", "RepeatString(", "Evaluate(", "IIf(", "DE(",
    "ListGetAt(", "Replace(", "REReplace(", "NumberFormat(", "DateFormat(", "CreateODBCDate(", "DateAdd(",
    "PreserveSingleQuotes(", "ValueList(", "ParameterExists(", "BitSHLN(", "FormatBaseN(", "InputBaseN(",
    "{ts '", "'}", "x", "name", "URL.a", "Form.b", "yes", "TRUE", ".5E3", "\n"};

TEST(ExpressionFuzz, MutatedExpressionsEndInAValueOrTheEvaluatorsError) {
    const std::vector<std::string> seeds = GuideExpressions();
    ASSERT_GE(seeds.size(), 20u) << "the guide's examples are the seeds";
    tessaro::test::FuzzMutator mutator(20261210, seeds, kExpressionWords);
    exprtest::FakeRuntime runtime;
    // Results stay small, so the cases stay fast.
    runtime.m_maxResultBytes = 64 * 1024;
    runtime.variables = {{"x", "3"}, {"name", "O'Neil"}, {"URL.a", "<b>'</b>"}, {"Form.b", "1,2,,3"},
                         {"yes", "no"}};
    int values = 0, errors = 0;
    const int ran = tessaro::test::RunFuzzCases(4000, std::chrono::seconds(25), [&](int n) {
        const std::string text = mutator.Next();
        runtime.escape = n % 3 == 2;
        try {
            std::string out;
            if (n % 3 == 0)
                exprtest::Driver().EvaluateToString(&runtime, text.c_str(), out, -1);
            else if (n % 3 == 1)
                static_cast<void>(exprtest::Driver().EvaluateToBoolean(&runtime, text.c_str(), -1));
            else
                exprtest::Driver().EvaluateSqlTemplateText(&runtime, ("'#" + text + "#'").c_str(), out, -1);
            ++values;
        } catch (CExpressionException* e) {
            delete e;
            ++errors;
        } catch (...) {
            ADD_FAILURE() << "case " << n << " left the evaluator with another exception: " << text;
        }
    });
    EXPECT_GE(ran, 500) << "too few cases in the time given";
    // Both ways out were taken: the cases are neither all broken nor all untouched.
    EXPECT_GT(values, 0);
    EXPECT_GT(errors, 0);
}

}  // namespace

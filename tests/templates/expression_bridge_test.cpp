// The page's evaluation entry over the expression evaluator: modes, the current loop row,
// the callbacks' exception types and the error page text.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "engine/expressions/expression_driver.h"
#include "engine/expressions/random_state.h"
#include "support/web_exception.h"
#include "engine/templates/expression_bridge.h"
#include "engine/templates/core/query_results.h"
#include "support/runtime_file_gate.h"
#include "tests/common/temp_home.h"

namespace {

CExpressionEvaluationDriver& Driver() {
    static CExpressionEvaluationDriver driver;
    return driver;
}

class FakeHost : public CEvaluationHost {
public:
    std::map<std::string, std::string> variables;
    std::unique_ptr<CTSXQueryImp> query;
    int loopRow = -1;
    std::vector<int> rows;
    CRandomState random;
    std::size_t maxResultBytes = kDefaultMaxFunctionResultBytes;
    CRuntimeFileGate files;

    void LookupVariable(const std::string& name, int row, std::string& value) override {
        rows.push_back(row);
        const auto it = variables.find(name);
        if (it == variables.end())
            throw new CWebException(CWebMessage::FromHtml("Error resolving parameter <B>" + name + "</B>"),
                                    "The variable was not found.");
        value = it->second;
    }
    CTSXQueryImp* FindQueryNoCase(const std::string& name) override {
        return query && name.size() == 1 && (name == "q" || name == "Q") ? query.get() : nullptr;
    }
    int CurrentLoopRow() override { return loopRow; }
    void SetVariable(const std::string& name, const std::string& value) override { variables[name] = value; }
    std::string WriteErrorReport() override { return "<report>"; }
    void DeleteClientVariable(const std::string&) override {}
    std::string MainTemplatePath() override { return "/t/main.tsm"; }
    std::string ClientVariableList() override { return "A,B"; }
    CRandomState* RandomState() override { return &random; }
    std::size_t MaxFunctionResultBytes() override { return maxResultBytes; }
    const CRuntimeFileGate* FileGate() override { return &files; }
};

std::string Reported(FakeHost& host, const std::string& text, int mode) {
    try {
        EvaluatePageExpression(host, Driver(), text, -1, 0, mode);
    } catch (CWebException* e) {
        std::string message = e->GetMessage();
        e->Delete();
        return message;
    }
    return "<no error>";
}

TEST(ExpressionBridge, Modes) {
    FakeHost host;
    host.variables = {{"name", "Bob"}, {"n", "2"}};
    EXPECT_EQ(EvaluatePageExpression(host, Driver(), "n GT 1", -1, 0, kEvaluateCondition), "Yes");
    EXPECT_EQ(EvaluatePageExpression(host, Driver(), "n GT 5", -1, 0, kEvaluateCondition), "No");
    EXPECT_EQ(EvaluatePageExpression(host, Driver(), "Hi \"#name#\", ## #n#", -1, 0, kEvaluateTemplateText),
              "Hi \"Bob\", # 2");
    EXPECT_EQ(EvaluatePageExpression(host, Driver(), "name & n", -1, 0, kEvaluateExpression), "Bob2");
    EXPECT_EQ(EvaluatePageExpression(host, Driver(), "name", -1, 0, 7), "");
    EXPECT_TRUE(EvaluatePageCondition(host, Driver(), "TRUE", -1));
}

TEST(ExpressionBridge, RowMinusOneIsTheCurrentLoopRow) {
    FakeHost host;
    host.variables = {{"x", "1"}};
    host.loopRow = 4;
    EvaluatePageExpression(host, Driver(), "x", -1, 0, kEvaluateExpression);
    EvaluatePageExpression(host, Driver(), "x", 2, 0, kEvaluateExpression);
    EXPECT_EQ(host.rows, (std::vector<int>{4, 2}));
}

TEST(ExpressionBridge, SqlContextDoublesQuotes) {
    FakeHost host;
    host.variables = {{"name", "O'Neil"}};
    EXPECT_EQ(EvaluatePageExpression(host, Driver(), "'#name#'", -1, 1, kEvaluateExpression), "O''Neil");
    EXPECT_EQ(EvaluatePageExpression(host, Driver(), "'#name#'", -1, 0, kEvaluateExpression), "O'Neil");
}

TEST(ExpressionBridge, FailuresBecomeTheExpressionErrorPage) {
    FakeHost host;
    EXPECT_EQ(Reported(host, "missing + 1", kEvaluateExpression),
              "An error has occurred while processing the expression:<PRE>   missing + 1\n</PRE><report><HR><P>Error "
              "resolving parameter <B>missing</B><P><P>The variable was not found.<P><P>");
    EXPECT_EQ(Reported(host, "1 / 0", kEvaluateExpression),
              "An error has occurred while processing the expression:<PRE>   1 / 0\n</PRE><report><HR><P>Division by "
              "zero is not allowed<P>");
    const std::string unmatched = Reported(host, "a #b", kEvaluateTemplateText);
    EXPECT_NE(unmatched.find("unmatched single quotes, double quotes, or pound signs."), std::string::npos)
        << unmatched;
    const std::string nested = Reported(host, "'abc'", kEvaluateCondition);
    EXPECT_NE(nested.find("Cannot convert abc to boolean"), std::string::npos);
}

// What the page read for its request reaches the functions: its result limit and the
// private files of its engine.
class ExpressionBridgeHome : public TempHomeTest {};

TEST_F(ExpressionBridgeHome, TheFunctionsSeeThePagesLimitAndPrivateFiles) {
    FakeHost host;
    host.maxResultBytes = 4;
    EXPECT_EQ(EvaluatePageExpression(host, Driver(), "RepeatString('ab', 2)", -1, 0, kEvaluateExpression), "abab");
    EXPECT_NE(Reported(host, "RepeatString('ab', 3)", kEvaluateExpression).find("limit of 4 bytes"), std::string::npos);
    const std::string folder = home() + "/elsewhere/";
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "letter.txt") << "x";
    const std::string exists = "FileExists('" + folder + "letter.txt')";
    EXPECT_EQ(EvaluatePageExpression(host, Driver(), exists, -1, 0, kEvaluateExpression), "YES");
    host.files.AddPrivatePath(folder);
    EXPECT_EQ(EvaluatePageExpression(host, Driver(), exists, -1, 0, kEvaluateExpression), "NO");
}

TEST(ExpressionBridge, CallbacksTranslateThePageErrors) {
    FakeHost host;
    CRuntimeInterfaceImp runtime(host, Driver(), 0);
    std::string value;
    EXPECT_THROW(runtime.LookupVariable("nothing", -1, value, 1), CRuntimeInterfaceSignalingException);
    EXPECT_THROW(runtime.Evaluate(value, "1 +", -1), CRuntimeInterfaceException);
    runtime.Evaluate(value, "1 + 1", -1);
    EXPECT_EQ(value, "2");
    runtime.GetClientVariableList(value);
    EXPECT_EQ(value, "A,B");
    runtime.GetTemplatePath(value);
    EXPECT_EQ(value, "/t/main.tsm");
    EXPECT_EQ(runtime.m_randomState, &host.random);
    EXPECT_EQ(runtime.FindQuery("q"), nullptr);
    host.query = std::make_unique<CTSXQueryImp>();
    host.query->AddColumn("COL");
    host.query->AddRow({"r1"});
    host.query->AddRow({"r2"});
    CExpressionQuery* q = runtime.FindQuery("Q");
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->GetRowCount(), 2);
    EXPECT_EQ(q->FindColumn("col"), 1);
    EXPECT_EQ(q->FindColumn("other"), -1);
    EXPECT_EQ(q->GetCell(2, 1), "r2");
    EXPECT_EQ(q->GetCell(3, 1), "");
    EXPECT_EQ(q->GetCell(0, 1), "");
}

}  // namespace

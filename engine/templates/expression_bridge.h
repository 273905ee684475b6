// The bridge between the template page and the expression evaluator: the page's
// evaluation entry (modes: condition, template text with #...# parts, expression), the
// callback interface the evaluator reaches the request through, and the error page text
// of a failed expression.
#pragma once

#include <memory>
#include <string>

#include "engine/expressions/runtime_interface.h"

class CExpressionEvaluationDriver;
class CTSXQueryImp;

// What the bridge needs of the page. Failures are CWebException* as the page raises them.
class CEvaluationHost {
public:
    virtual ~CEvaluationHost() = default;
    // The name resolved through the request's scopes.
    virtual void LookupVariable(const std::string& name, int row, std::string& value) = 0;
    // The executed query whose name equals name without regard to case, or null.
    virtual CTSXQueryImp* FindQueryNoCase(const std::string& name) = 0;
    // The row of the innermost active query loop (0-based), or -1.
    virtual int CurrentLoopRow() = 0;
    virtual void SetVariable(const std::string& name, const std::string& value) = 0;
    virtual std::string WriteErrorReport() = 0;
    virtual void DeleteClientVariable(const std::string& name) = 0;
    virtual std::string MainTemplatePath() = 0;
    virtual std::string ClientVariableList() = 0;
    virtual CRandomState* RandomState() = 0;
    // The longest text one function call may build for this request.
    virtual std::size_t MaxFunctionResultBytes() = 0;
    // The private files no function may reach.
    virtual const CRuntimeFileGate* FileGate() = 0;
    // Throws the request's own error when its budget is spent or stopped: an evaluation cut
    // short that way ends the page with that reason, not as an expression error.
    virtual void CheckBudget() {}
};

enum EvaluationMode { kEvaluateCondition = 0, kEvaluateTemplateText = 1, kEvaluateExpression = 2 };

// Evaluates text for the page: row -1 takes the current loop row; contextFlag 1 (SQL text)
// doubles, once, the single quotes that came from values in each #...# value; the
// template's own stay. A condition answers "Yes" or "No". Every failure becomes
// CWebException* "An error has occurred while processing the expression:..." with the
// reason.
std::string EvaluatePageExpression(CEvaluationHost& host, CExpressionEvaluationDriver& driver, const std::string& text,
                                   int row, int contextFlag, int mode);
// An expression (a nested evaluation: Evaluate, IIf) to text with the origin of its
// characters; contextFlag is the evaluation's it is nested in, and nothing is doubled
// here. Failures as EvaluatePageExpression.
CTracedText EvaluatePageTracedText(CEvaluationHost& host, CExpressionEvaluationDriver& driver, const CTracedView& text,
                                   int row, int contextFlag);
// EvaluatePageExpression(text, row, 0, condition) is "Yes" (case ignored).
bool EvaluatePageCondition(CEvaluationHost& host, CExpressionEvaluationDriver& driver, const std::string& text,
                           int row);

// Throws the CWebException* of a failed expression.
[[noreturn]] void ReportExpressionError(CEvaluationHost& host, const std::string& text, const std::string& reason);

// The evaluator's callbacks for one evaluation, over the page.
class CRuntimeInterfaceImp : public CRuntimeInterface {
public:
    CRuntimeInterfaceImp(CEvaluationHost& host, CExpressionEvaluationDriver& driver, int contextFlag);
    ~CRuntimeInterfaceImp() override;

    void LookupVariable(const std::string& name, int row, std::string& value, int mustExist) override;
    CExpressionQuery* FindQuery(const std::string& name) override;
    int EscapeSingleQuotes() override { return m_contextFlag; }
    void Evaluate(std::string& value, const std::string& text, int row) override;
    void EvaluateTraced(CTracedText& value, const CTracedView& text, int row) override;
    void SetVariable(const std::string& name, const std::string& value) override;
    void GetErrorReport(std::string& text) override;
    void DeleteClientVariable(const std::string& name) override;
    void GetTemplatePath(std::string& path) override;
    void GetClientVariableList(std::string& text) override;

private:
    class QueryView;
    CEvaluationHost& m_host;
    CExpressionEvaluationDriver& m_driver;
    int m_contextFlag;
    std::unique_ptr<QueryView> m_lastQuery;
};

#include "engine/templates/expression_bridge.h"

#include "engine/expressions/expression_driver.h"
#include "engine/templates/core/query_results.h"
#include "engine/templates/scopes/variable_scopes.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"

namespace {

// Runs a callback and turns the page's error into the evaluator's exception type.
template <class Exception, class F>
void Signal(F&& call) {
    try {
        call();
    } catch (CWebException* e) {
        Exception translated(e->GetMessage(), e->GetDetail());
        e->Delete();
        throw translated;
    }
}

}  // namespace

class CRuntimeInterfaceImp::QueryView : public CExpressionQuery {
public:
    explicit QueryView(CTSXQueryImp* query) : m_query(query) {}
    CTSXQueryImp* Query() const { return m_query; }
    int GetRowCount() override { return m_query->GetRowCount(); }
    // Among the result's own columns (no pseudo-column), the first of that name: a join's
    // `a.id, b.id` gives two columns ID, and the list is the one the select list names first.
    int FindColumn(const std::string& name) override {
        const std::string upper = UpperCopy(name);
        for (int i = 0; i < m_query->GetColumnCount(); ++i)
            if (m_query->GetColumn(i).name == upper) return i + 1;
        return -1;
    }
    std::string GetCell(int row, int column) override {
        if (row < 1 || column < 1) return std::string();
        return m_query->GetColumnValue(row - 1, column - 1);
    }

private:
    CTSXQueryImp* m_query;
};

CRuntimeInterfaceImp::CRuntimeInterfaceImp(CEvaluationHost& host, CExpressionEvaluationDriver& driver, int contextFlag)
    : m_host(host), m_driver(driver), m_contextFlag(contextFlag) {
    m_randomState = host.RandomState();
    m_maxResultBytes = host.MaxFunctionResultBytes();
    m_fileGate = host.FileGate();
}

CRuntimeInterfaceImp::~CRuntimeInterfaceImp() = default;

void CRuntimeInterfaceImp::LookupVariable(const std::string& name, int row, std::string& value, int) {
    Signal<CRuntimeInterfaceSignalingException>([&] { m_host.LookupVariable(name, row, value); });
}

CExpressionQuery* CRuntimeInterfaceImp::FindQuery(const std::string& name) {
    CTSXQueryImp* query = nullptr;
    try {
        query = m_host.FindQueryNoCase(name);
    } catch (CWebException* e) {
        e->Delete();
        throw CRuntimeInterfaceException("", "");
    }
    if (query == nullptr) return nullptr;
    if (!m_lastQuery || m_lastQuery->Query() != query) m_lastQuery = std::make_unique<QueryView>(query);
    return m_lastQuery.get();
}

void CRuntimeInterfaceImp::Evaluate(std::string& value, const std::string& text, int row) {
    Signal<CRuntimeInterfaceException>(
        [&] { value = EvaluatePageExpression(m_host, m_driver, text, row, 0, kEvaluateExpression); });
}

void CRuntimeInterfaceImp::EvaluateTraced(CTracedText& value, const CTracedView& text, int row) {
    // Nested in SQL text, the nested text is SQL text too (QuotedValueList leaves its
    // quoting to the end), but only the outermost evaluation doubles.
    Signal<CRuntimeInterfaceException>(
        [&] { value = EvaluatePageTracedText(m_host, m_driver, text, row, m_contextFlag); });
}

void CRuntimeInterfaceImp::SetVariable(const std::string& name, const std::string& value) {
    Signal<CRuntimeInterfaceException>([&] { m_host.SetVariable(name, value); });
}

void CRuntimeInterfaceImp::GetErrorReport(std::string& text) {
    text = m_host.WriteErrorReport();
}

void CRuntimeInterfaceImp::DeleteClientVariable(const std::string& name) {
    Signal<CRuntimeInterfaceException>([&] { m_host.DeleteClientVariable(name); });
}

void CRuntimeInterfaceImp::GetTemplatePath(std::string& path) {
    path = m_host.MainTemplatePath();
}

void CRuntimeInterfaceImp::GetClientVariableList(std::string& text) {
    Signal<CRuntimeInterfaceException>([&] { text = m_host.ClientVariableList(); });
}

void ReportExpressionError(CEvaluationHost& host, const std::string& text, const std::string& reason) {
    throw new CWebException(ExpressionErrorTitle(text, host.WriteErrorReport(), reason), "", std::string());
}

namespace {

// Runs an evaluation for the page; every failure becomes the expression error page, but for
// the request's budget running out, which ends the page with its own reason.
template <class F>
auto ReportingFailures(CEvaluationHost& host, std::string_view text, F&& evaluate) -> decltype(evaluate()) {
    std::string reason;
    try {
        return evaluate();
    } catch (CExpressionException* e) {
        reason = e->GetText();
        delete e;
    } catch (CWebException* e) {
        e->Delete();
        reason = "The reason for the error is unknown.\n";
    } catch (...) {
        reason = "The reason for the error is unknown.\n";
    }
    host.CheckBudget();
    ReportExpressionError(host, std::string(text), reason);
}

}  // namespace

CTracedText EvaluatePageTracedText(CEvaluationHost& host, CExpressionEvaluationDriver& driver, const CTracedView& text,
                                   int row, int contextFlag) {
    if (row == -1) row = host.CurrentLoopRow();
    CRuntimeInterfaceImp runtime(host, driver, contextFlag);
    return ReportingFailures(host, text.text(), [&] {
        CTracedText value;
        driver.EvaluateToTracedText(&runtime, text, value, row);
        return value;
    });
}

std::string EvaluatePageExpression(CEvaluationHost& host, CExpressionEvaluationDriver& driver, const std::string& text,
                                   int row, int contextFlag, int mode) {
    if (row == -1) row = host.CurrentLoopRow();
    CRuntimeInterfaceImp runtime(host, driver, contextFlag);
    return ReportingFailures(host, text, [&]() -> std::string {
        switch (mode) {
            case kEvaluateCondition:
                return driver.EvaluateToBoolean(&runtime, text.c_str(), row) ? "Yes" : "No";
            case kEvaluateTemplateText: {
                std::string expression, value;
                if (contextFlag != 0) {
                    driver.EvaluateSqlTemplateText(&runtime, text.c_str(), value, row);
                    return value;
                }
                CExpressionEvaluationDriver::ConvertToStringExpression(("\"" + text + "\"").c_str(), expression);
                driver.EvaluateToString(&runtime, expression.c_str(), value, row);
                return value;
            }
            case kEvaluateExpression: {
                std::string value;
                driver.EvaluateToString(&runtime, text.c_str(), value, row);
                return value;
            }
            default:
                return std::string();
        }
    });
}

bool EvaluatePageCondition(CEvaluationHost& host, CExpressionEvaluationDriver& driver, const std::string& text,
                           int row) {
    const std::string answer = EvaluatePageExpression(host, driver, text, row, 0, kEvaluateCondition);
    return answer.size() == 3 && UpperCopy(answer) == "YES";
}

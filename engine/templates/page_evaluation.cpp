#include "engine/templates/page_evaluation.h"

#include "engine/expressions/expression_driver.h"
#include "support/text_helpers.h"
#include "engine/templates/scopes/page_scopes.h"
#include "engine/templates/template_page.h"

std::string EvaluateOnPage(CQueryPage& page, const std::string& text, int row, int contextFlag, int mode) {
    if (CExpressionEvaluationDriver* driver = GetExpressionDriver())
        return EvaluatePageExpression(page.GetScopes(), *driver, text, row, contextFlag, mode);
    // Without the expression language only names and literals are known.
    if (mode == kEvaluateTemplateText)
        return contextFlag != 0 ? page.GetEvaluator().SubstituteSqlText(text)
                                : page.GetEvaluator().SubstituteText(text);
    if (mode == kEvaluateCondition) return page.GetEvaluator().EvaluateCondition(text) ? "Yes" : "No";
    return page.GetEvaluator().EvaluateValue(text);
}

CTracedText EvaluateTracedOnPage(CQueryPage& page, const std::string& expression, int row) {
    if (CExpressionEvaluationDriver* driver = GetExpressionDriver())
        return EvaluatePageTracedText(page.GetScopes(), *driver, {expression, &CTracedView::LiteralOrigin()}, row, 1);
    return CTracedText::Value(page.GetEvaluator().EvaluateValue(expression));
}

bool EvaluateConditionOnPage(CQueryPage& page, const std::string& condition, int row) {
    return UpperCopy(EvaluateOnPage(page, condition, row, 0, kEvaluateCondition)) == "YES";
}

#include "engine/templates/page_evaluation.h"

#include "engine/templates/scopes/page_scopes.h"
#include "engine/templates/template_page.h"
#include "support/text_helpers.h"

std::string EvaluateOnPage(CQueryPage& page, const std::string& text, int row, int contextFlag, int mode) {
    return EvaluatePageExpression(page.GetScopes(), page.Expressions(), text, row, contextFlag, mode);
}

CTracedText EvaluateTracedOnPage(CQueryPage& page, const std::string& expression, int row) {
    return EvaluatePageTracedText(page.GetScopes(), page.Expressions(), CTracedView::Literal(expression), row, 1);
}

bool EvaluateConditionOnPage(CQueryPage& page, const std::string& condition, int row) {
    return UpperCopy(EvaluateOnPage(page, condition, row, 0, kEvaluateCondition)) == "YES";
}

#include "engine/templates/page_section_host.h"

#include <algorithm>

#include "engine/expressions/expression_driver.h"
#include "engine/expressions/expression_exception.h"
#include "support/server_settings.h"
#include "engine/templates/page_evaluation.h"
#include "engine/templates/scopes/page_scopes.h"
#include "engine/templates/tags/page_tags.h"
#include "engine/templates/template_page.h"
#include "engine/templates/core/loop_stack.h"
#include "engine/templates/core/section_mail.h"
#include "engine/templates/template_parser.h"

std::string CPageSectionHost::EvaluateExpression(const std::string& expression, int row) {
    return EvaluateOnPage(m_page, expression, row, 0, kEvaluateExpression);
}

CTracedText CPageSectionHost::EvaluateTracedExpression(const std::string& expression, int row) {
    return EvaluateTracedOnPage(m_page, expression, row);
}

std::string CPageSectionHost::EvaluateField(const std::string& text, int row) {
    return EvaluateOnPage(m_page, text, row, 0, kEvaluateTemplateText);
}

bool CPageSectionHost::EvaluateCondition(const std::string& condition, int row) {
    return EvaluateConditionOnPage(m_page, condition, row);
}

void CPageSectionHost::SetVariableFromExpression(const std::string& name, const std::string& expression, int row) {
    m_page.GetScopes().AssignVariable(name, EvaluateExpression(expression, row));
}

namespace {

// The line feeds in front of the "#" that no "#" closes: the last "#" before which the text
// splits cleanly (the error page names the line that "#" stands on, not the text's first).
long LineFeedsBeforeUnmatchedPound(const std::string& text) {
    for (std::size_t at = text.rfind('#'); at != std::string::npos; at = at == 0 ? std::string::npos : text.rfind('#', at - 1)) {
        try {
            FreeExpressionSegments(SplitPoundExpressions(text.substr(0, at).c_str()));
        } catch (CExpressionException* e) {
            delete e;
            continue;
        }
        return static_cast<long>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
    }
    return 0;
}

}  // namespace

std::vector<std::pair<bool, std::string>> CPageSectionHost::SplitText(const std::string& text) {
    std::vector<std::pair<bool, std::string>> runs;
    ExpressionSegmentList* segments = nullptr;
    try {
        segments = SplitPoundExpressions(text.c_str());
    } catch (CExpressionException* e) {
        std::string reason = e->GetText();
        delete e;
        const long textLine = m_page.SetRunningLine(0);
        m_page.SetRunningLine(textLine > 0 ? textLine + LineFeedsBeforeUnmatchedPound(text) : 0);
        ReportExpressionError(m_page.GetScopes(), text, reason);
    }
    for (const ExpressionSegment& segment : *segments) runs.push_back({segment.kind != 0, segment.text});
    FreeExpressionSegments(segments);
    return runs;
}

SectionResolution CPageSectionHost::ResolveParameter(const std::string& name, int row) {
    CParameterResolution r = m_page.GetScopes().ResolveParameter(name, row);
    SectionResolution out;
    out.value = r.value;
    out.fixed = r.fixedValue != 0;
    out.currentColumn = r.currentColumn != 0;
    out.query = r.query;
    out.column = r.column;
    return out;
}

CTSXQueryImp* CPageSectionHost::FindQuery(const std::string& name) {
    return m_tags.FindQuery(name);
}

void CPageSectionHost::CheckRequestTime() {
    m_page.CheckRequestTimeout();
}

bool CPageSectionHost::LoopQueryRow(int& row) {
    if (m_tags.Loops().CurrentQuery() == nullptr) return false;
    row = m_tags.Loops().CurrentQueryRow();
    return true;
}

std::string CPageSectionHost::SetRunningSectionQuery(const std::string& name) {
    return m_tags.SetSectionQuery(name);
}

std::string CPageSectionHost::DefaultMailServer() {
    CServerSettings* settings = m_page.GetSettings();
    return settings != nullptr ? settings->GetString("Mail", "MailServer", "") : std::string();
}

void CPageSectionHost::SpoolMail(const SectionMailMessage& message) {
    SpoolSectionMail(m_page.Services().mail.get(), message);
}

void CPageSectionHost::MailPosted() {
    NotifySectionMailPosted(m_page.Services().mail.get());
}

const CRuntimeFileGate& CPageSectionHost::PrivateFiles() {
    return m_page.Files();
}

long CPageSectionHost::CurrentLine() {
    CTemplateParser* parser = m_page.currentTemplateParser();
    return parser != nullptr ? parser->ErrorLine(false) : 0;
}

long CPageSectionHost::SetRunningLine(long line) {
    return m_page.SetRunningLine(line);
}

std::string CPageSectionHost::PositionReport() {
    return m_page.WriteErrorReport();
}

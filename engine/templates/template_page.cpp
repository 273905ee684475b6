#include "engine/templates/template_page.h"

#include <ctime>

#include "engine/expressions/function_result_limit.h"
#include "engine/server/reply_writer.h"
#include "engine/server/request_reader.h"
#include "engine/templates/scopes/cookie_scope.h"
#include "engine/templates/page_evaluation.h"
#include "engine/templates/scopes/page_scopes.h"
#include "engine/templates/core/if_block_stack.h"
#include "engine/templates/core/loop_stack.h"
#include "engine/templates/tags/page_tags.h"
#include "engine/templates/template_parser.h"
#include "platform/clock.h"
#include "platform/path_util.h"
#include "support/server_settings.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"

std::string ErrorPageDateTime() {
    return tessaro::platform::FormatLocalTimeNow("%m/%d/%y %H:%M:%S");
}

CQueryPage::CQueryPage(const TemplateServices& services)
    : CWDBBasePage(services),
      m_scopes(std::make_unique<CPageScopes>(*this)),
      m_tags(std::make_unique<CPageTags>(*this)) {
    m_scopes->SetNamedQueries(&m_tags->Queries());
    m_scopes->SetCurrentQueryNameSource([this] { return m_tags->CurrentQueryName(); });
    m_scopes->SetLoopRowSource(
        [this] { return m_tags->Loops().CurrentQuery() != nullptr ? m_tags->Loops().CurrentQueryRow() - 1 : -1; });
    m_scopes->SetBeforeLookup([this](const std::string& name) { m_tags->FinishQueryNamedBy(name); });
}

bool CQueryPage::IsSkippingLoop() const {
    return m_tags->IsSkippingLoop();
}

bool CQueryPage::IsInsideQuery() const {
    return m_tags->IsQueryPending();
}

CQueryPage::~CQueryPage() = default;

void CQueryPage::Setup() {
    CWDBBasePage::Setup();
    m_scopes->SetMaxFunctionResultBytes(ReadMaxFunctionResultBytes(GetSettings()));
    if (GetWriter() != nullptr) GetWriter()->Budget().ReadResultByteLimit(GetSettings());
    m_queryDebug =
        GetSettings() != nullptr && GetSettings()->GetNumber("Debug", "WriteQueryInfo", 0) != 0 && IsDebugClient();
    m_ifStack = std::make_unique<CIfBlockStack>(
        [this](const std::string& condition) { return EvaluateConditionOnPage(*this, condition, -1); },
        [this] { return ParsePlace(); });
    StartRequestClock();
}

void CQueryPage::SetPlaceFile(const std::string& path, const std::string& onDisk) const {
    m_placeFile = path;
    m_placeFileOnDisk = onDisk;
}

std::string CQueryPage::ParsePlace() const {
    CTemplateParser* parser = currentTemplateParser();
    if (parser == nullptr) return {};
    const std::string& file = m_templateChain.empty() ? std::string() : m_templateChain.back();
    if (m_placeFileOnDisk.empty() || m_placeFile != file) {
        m_placeFileOnDisk = tessaro::platform::ResolvePathNoCase(file);
        m_placeFile = file;
    }
    return "line " + std::to_string(parser->ErrorLine(false)) + " of the template file " + m_placeFileOnDisk;
}

void CQueryPage::CheckRequestTimeout() {
    // Also where a page nobody waits for any more, or one the engine's shutdown stopped, ends.
    if (CRequestBudget* budget = Budget()) budget->Check();
}

void CQueryPage::EndRequest(bool error) {
    if (error) SetCloseConnections(true);
    destroyTemplateParsers();
    if (!error && GetCookieScope() != nullptr) {
        std::string headers = GetCookieScope()->BuildSetCookieHeaders();
        if (!headers.empty()) GetWriter()->AddHeader(headers);
    }
}

void CQueryPage::WriteQueryDebug() {
    if (m_queryDebugLines.empty() || !HasRun() || !IsDebugClient()) return;
    GetWriter()->BeginOutput();
    CReplyChannel* channel = GetWriter()->GetCurrentChannel();
    channel->WriteText("\n<P><HR><B>Queries</B><P><PRE>");
    for (const std::string& line : m_queryDebugLines) channel->WriteText(line);
    channel->WriteText("</PRE>");
    m_queryDebugLines.clear();
}

void CQueryPage::Finish() {
    // Connections go back to the pool only after a commit or a rollback.
    RollbackOpenTransaction();
    CWDBBasePage::Finish();
    // A redirect or a file reply has no page for the debug block.
    if (HasRun() && !m_tags->ReplacedReply()) WriteQueryDebug();
    m_ifStack.reset();
    m_scopes->ReleaseClients();
    destroyTemplateParsers();
}

std::string CQueryPage::templateFileName() const {
    return m_templateChain.empty() ? std::string() : m_templateChain.back();
}

CTemplateParser* CQueryPage::currentTemplateParser() const {
    return m_parsers.empty() ? nullptr : m_parsers.back().get();
}

void CQueryPage::destroyTemplateParsers() {
    m_parsers.clear();
}

void CQueryPage::WriteText(const std::string& text) {
    if (!text.empty()) GetWriter()->GetCurrentChannel()->WriteText(text);
}

void CQueryPage::FinishAttribute() {
    m_attributeText.clear();
    m_attributeText.swap(m_attributeAccumulator);
}

std::string CQueryPage::attributeValue() {
    std::string text;
    text.swap(m_attributeText);
    if (text.find('#') != std::string::npos) return EvaluateOnPage(*this, text, -1, 0, kEvaluateTemplateText);
    return text;
}

std::string CQueryPage::rawAttributeValue() {
    std::string text;
    text.swap(m_attributeText);
    return text;
}

void CQueryPage::SetVariable(const std::string& name, const std::string& value) {
    m_scopes->AssignVariable(name, value);
}

CExpressionEvaluationDriver& CQueryPage::Expressions() const {
    if (Services().expressions == nullptr)
        throw new CWebException("Expression evaluator not loaded",
                                "The expression evaluator could not be loaded by the Tessaro engine.");
    return *Services().expressions;
}

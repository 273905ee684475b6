#include "engine/templates/page_tags.h"

#include <mutex>

#include "database/odbc_cursor.h"
#include "engine/expressions/expression_driver.h"
#include "engine/expressions/expression_exception.h"
#include "engine/server/client_scope.h"
#include "engine/server/html_escape.h"
#include "engine/server/mail_message.h"
#include "engine/server/mail_spooler.h"
#include "engine/server/number_parse.h"
#include "engine/server/reply_writer.h"
#include "engine/server/server_settings.h"
#include "engine/server/text_helpers.h"
#include "engine/server/web_exception.h"
#include "engine/templates/expression_bridge.h"
#include "engine/templates/if_block_stack.h"
#include "engine/templates/page_scopes.h"
#include "engine/templates/pooled_data_sources.h"
#include "engine/templates/query_page.h"
#include "engine/templates/template_parser.h"
#include "tools/template_symbols.h"

namespace p = tessaro::grammar::template_grammar::production;

namespace {

std::mutex g_spoolerLock;
CPageTags::MailSpooler g_spooler;
thread_local std::string lastMailError;

// The spooler's record of one section message.
bool SpoolThroughSpooler(const SectionMailMessage& m, std::string& error) {
    CMailMessage message(m.server, m.port, m.timeout, m.from, m.to, m.cc, m.subject,
                         TSMail::BuildMimeHeaders(m.html ? 1 : 0), m.body, m.attachment);
    if (SpoolMailMessage(message, error)) return true;
    lastMailError = message.GetTextField();
    return false;
}

}  // namespace

void CPageTags::SetMailSpooler(MailSpooler spooler) {
    std::lock_guard<std::mutex> hold(g_spoolerLock);
    g_spooler = std::move(spooler);
}

CPageTags::CPageTags(CQueryPage& page)
    : m_page(page), m_queryTag(*this, m_queries), m_sections(*this), m_loops(*this) {}

CPageTags::~CPageTags() = default;

std::string CPageTags::CurrentQueryName() const {
    if (!m_sectionQuery.empty()) return m_sectionQuery;
    if (CTSXQueryImp* query = m_loops.CurrentQuery()) return query->GetName();
    return {};
}

void CPageTags::CheckAtEnd() {
    m_queryTag.Finish();
    m_loops.CheckBalanced();
}

// --- evaluation -------------------------------------------------------------------

std::string CPageTags::Evaluate(const std::string& text, int row, int contextFlag, int mode) {
    if (CExpressionEvaluationDriver* driver = GetExpressionDriver())
        return EvaluatePageExpression(m_page.GetScopes(), *driver, text, row, contextFlag, mode);
    // Without the expression language only names and literals are known.
    if (mode == kEvaluateTemplateText) return m_page.GetEvaluator().SubstituteText(text);
    if (mode == kEvaluateCondition) return m_page.GetEvaluator().EvaluateCondition(text) ? "Yes" : "No";
    return m_page.GetEvaluator().EvaluateValue(text);
}

std::string CPageTags::SubstituteSql(const std::string& text) { return Evaluate(text, -1, 1, kEvaluateTemplateText); }

std::string CPageTags::EvaluateExpression(const std::string& expression, int row) {
    return Evaluate(expression, row, 0, kEvaluateExpression);
}

std::string CPageTags::EvaluateField(const std::string& text, int row) {
    return Evaluate(text, row, 0, kEvaluateTemplateText);
}

bool CPageTags::EvaluateCondition(const std::string& condition, int row) {
    return UpperCopy(Evaluate(condition, row, 0, kEvaluateCondition)) == "YES";
}

void CPageTags::SetVariableFromExpression(const std::string& name, const std::string& expression, int row) {
    m_page.GetScopes().AssignVariable(name, EvaluateExpression(expression, row));
}

std::vector<std::pair<bool, std::string>> CPageTags::SplitText(const std::string& text) {
    std::vector<std::pair<bool, std::string>> runs;
    ExpressionSegmentList* segments = nullptr;
    try {
        segments = SplitPoundExpressions(text.c_str());
    } catch (CExpressionException* e) {
        std::string reason = e->GetText();
        delete e;
        ReportExpressionError(m_page.GetScopes(), text, reason);
    }
    for (const ExpressionSegment& segment : *segments) runs.push_back({segment.kind != 0, segment.text});
    FreeExpressionSegments(segments);
    return runs;
}

SectionResolution CPageTags::ResolveParameter(const std::string& name, int row) {
    CParameterResolution r = m_page.GetScopes().ResolveParameter(name, row);
    SectionResolution out;
    out.value = r.value;
    out.fixed = r.fixedValue != 0;
    out.currentColumn = r.currentColumn != 0;
    out.query = r.query;
    out.column = r.column;
    return out;
}

CTSXQueryImp* CPageTags::FindQuery(const std::string& name) {
    std::string upper = UpperCopy(name);
    // A loop or section naming the query whose block is still open runs it first.
    if (m_queryTag.IsPending() && m_queryTag.Pending()->GetName() == upper && !upper.empty()) m_queryTag.Finish();
    return m_queries.Find(upper);
}

void CPageTags::CheckRequestTime() { m_page.CheckRequestTimeout(); }

void CPageTags::FinishQueryNamedBy(const std::string& variable) {
    if (!m_queryTag.IsPending()) return;
    std::size_t dot = variable.find('.');
    if (dot == std::string::npos || dot == 0) return;
    const std::string& pending = m_queryTag.Pending()->GetName();
    if (!pending.empty() && UpperCopy(variable.substr(0, dot)) == pending) m_queryTag.Finish();
}

bool CPageTags::LoopQueryRow(int& row) {
    if (m_loops.CurrentQuery() == nullptr) return false;
    row = m_loops.CurrentQueryRow();
    return true;
}

std::string CPageTags::SetRunningSectionQuery(const std::string& name) {
    std::string previous = m_sectionQuery;
    m_sectionQuery = name;
    return previous;
}

// --- TSQUERY ------------------------------------------------------------------------

void CPageTags::WriteText(const std::string& text) { m_page.WriteText(text); }

void CPageTags::AddDebugLine(const std::string& line) { m_page.AddQueryDebugLine(line); }

std::string CPageTags::PositionReport() { return m_page.WriteErrorReport(); }

void CPageTags::Execute(CTSXQueryImp& query) {
    auto* sources = dynamic_cast<CPooledDataSourceSet*>(m_page.GetDataSources());
    if (sources == nullptr)
        throw new CWebException("No data sources available",
                                "The Tessaro engine has no connection pool for ODBC data sources.");
    odbcCURSOR* cursor = sources->Set().AllocCursor(query.GetLogin());
    struct CloseCursor {
        odbcCURSOR* cursor;
        // The cursor's error handler throws; a failed close here (a lost connection,
        // say) must not escape a destructor, least of all while an error unwinds.
        ~CloseCursor() {
            if (cursor == nullptr) return;
            cursor->AutoReport(0);
            cursor->Close();
        }
    } close{cursor};
    if (cursor == nullptr)
        throw new CWebException("Unable to open a cursor", "No cursor could be opened on the data source '" +
                                                               HtmlEscape(query.GetDataSource()) + "'.");
    query.ExecuteOnStatement(m_page.GetSettings(), cursor->GetHstmt(), [this] { m_page.CheckRequestTimeout(); });
}

std::string CPageTags::QueryOrigin() const {
    CTemplateParser* parser = m_page.currentTemplateParser();
    long line = 0, offset = 0;
    if (parser != nullptr && parser->lookahead() != nullptr) {
        line = parser->lookahead()->line();
        offset = parser->lookahead()->offset();
    }
    return m_page.templateFileName() + ":" + std::to_string(line) + ":" + std::to_string(offset);
}

// --- mail ---------------------------------------------------------------------------

std::string CPageTags::DefaultMailServer() {
    CServerSettings* settings = m_page.GetSettings();
    return settings != nullptr ? settings->GetString("Mail", "MailServer", "") : std::string();
}

void CPageTags::SpoolMail(const SectionMailMessage& message) {
    MailSpooler spooler;
    {
        std::lock_guard<std::mutex> hold(g_spoolerLock);
        spooler = g_spooler;
    }
    std::string error;
    lastMailError.clear();
    bool spooled = spooler ? spooler(message, error) : SpoolThroughSpooler(message, error);
    if (!spooled)
        throw new CWebException(error, lastMailError.empty()
                                           ? "The mail message to " + HtmlEscape(message.to) + " was not spooled."
                                           : HtmlEscape(lastMailError));
}

void CPageTags::MailPosted() {
    {
        // An installed spooler of its own (tests) takes no engine notice.
        std::lock_guard<std::mutex> hold(g_spoolerLock);
        if (g_spooler) return;
    }
    PostMailReady();
}

// --- TSLOOP ---------------------------------------------------------------------------

void CPageTags::SetIndexVariable(const std::string& name, const std::string& value) {
    m_page.GetScopes().AssignVariable(name, value);
}

const void* CPageTags::CurrentInputOwner() { return m_page.currentTemplateParser(); }

LoopInputSnapshot CPageTags::SaveInput() {
    LoopInputSnapshot snapshot;
    CTemplateParser* parser = m_page.currentTemplateParser();
    snapshot.owner = parser;
    if (parser != nullptr) snapshot.state = parser->lexer().saveState();
    return snapshot;
}

void CPageTags::RewindInput(const LoopInputSnapshot& snapshot) {
    CTemplateParser* parser = m_page.currentTemplateParser();
    // The lexer state carries its expression-list stack; the parser forgets the
    // lookahead it read after /TSLOOP, end of input included.
    if (parser == nullptr || parser != snapshot.owner || !parser->lexer().restoreState(snapshot.state))
        ThrowLoopError("The TSLOOP and /TSLOOP tags in this template are not matched. There are more /TSLOOP tags "
                       "than there are TSLOOP tags.");
    if (parser->restartLookahead() != 0) ThrowLoopError("An unexpected error occurred while repeating a loop.");
}

void CPageTags::SaveConditionals() {
    if (CIfBlockStack* ifs = m_page.GetIfStack()) ifs->SaveForLoop();
}

void CPageTags::RestoreConditionals() {
    if (CIfBlockStack* ifs = m_page.GetIfStack()) ifs->RestoreForLoop();
}

// --- TSABORT --------------------------------------------------------------------------

void CPageTags::Abort() {
    m_page.SetAborted();
    // The parsers of including templates stop at their next reduction.
    if (CTemplateParser* parser = m_page.currentTemplateParser()) parser->setAbort(1);
}

// --- dispatch -------------------------------------------------------------------------

bool CPageTags::Dispatch(std::uint32_t production, CTemplateParser& parser) {
    if (m_queryTag.IsPending()) {
        if (production == p::item_Text) {
            m_queryTag.OnText(parser.OriginalLexemeText(0));
            return true;
        }
        if (!KeepsQueryBlockOpen(production)) m_queryTag.Finish();
    }
    return DispatchTag(production, parser);
}

bool CPageTags::DispatchTag(std::uint32_t production, CTemplateParser& parser) {
    CQueryPage& page = m_page;
    switch (production) {
    // TSLOOP attributes and break.
    case p::loopStart_LoopTag:
        m_loops.ResetAttributes();
        return true;
    case p::loopAttributesOpt_empty:
    case p::loopAttributesOpt_loopAttributes:
        m_loops.SaveInput();
        return true;
    case p::loopAttribute_LoopList_attributeValue:
        m_loops.SetList(page.attributeValue());
        return true;
    case p::loopAttribute_LoopQuery_attributeValue:
        m_loops.SetQuery(page.attributeValue());
        return true;
    case p::loopAttribute_LoopStartRow_attributeValue:
        m_loops.SetStartRow(page.attributeValue());
        return true;
    case p::loopAttribute_LoopEndRow_attributeValue:
        m_loops.SetEndRow(page.attributeValue());
        return true;
    case p::loopAttribute_LoopDelimiters_attributeValue:
        m_loops.SetDelimiters(page.attributeValue());
        return true;
    case p::loopAttribute_LoopCondition_attributeValue:
        m_loops.SetCondition(page.rawAttributeValue());
        return true;
    case p::loopAttribute_LoopIndex_attributeValue:
        m_loops.SetIndex(page.attributeValue());
        return true;
    case p::loopAttribute_LoopFrom_attributeValue:
        m_loops.SetFrom(page.attributeValue());
        return true;
    case p::loopAttribute_LoopTo_attributeValue:
        m_loops.SetTo(page.attributeValue());
        return true;
    case p::loopAttribute_LoopStep_attributeValue:
        m_loops.SetStep(page.attributeValue());
        return true;
    case p::item_BreakTag:
        m_loops.LoopBreak();
        return true;

    // TSCONTENT.
    case p::contentStart_ContentTag:
        m_content.Reset();
        return true;
    case p::contentAttribute_ContentType_attributeValue:
        m_content.type = page.attributeValue();
        return true;
    case p::contentAttribute_ContentFile_attributeValue:
        m_content.file = page.attributeValue();
        return true;
    case p::contentAttribute_ContentDeleteFile_attributeValue:
        m_content.SetDeleteFile(page.attributeValue());
        return true;
    case p::item_contentStart_contentAttributesOpt_ContentEnd:
        if (ExecuteContent(m_content, *page.GetWriter())) {
            m_replacedReply = true;
            Abort();
        }
        return true;

    // TSHEADER.
    case p::headerStart_HeaderTag:
        m_headerName.clear();
        m_headerValue.clear();
        return true;
    case p::headerAttribute_HeaderName_attributeValue:
        m_headerName = page.attributeValue();
        return true;
    case p::headerAttribute_HeaderValue_attributeValue:
        m_headerValue = page.attributeValue();
        return true;
    case p::item_headerStart_headerAttributesOpt_HeaderEnd:
        page.GetWriter()->AddHeader(BuildHeaderLine(m_headerName, m_headerValue));
        return true;

    // TSERROR.
    case p::errorStart_ErrorTag:
        m_buildingErrorPage.Reset();
        return true;
    case p::errorAttribute_ErrorType_attributeValue:
        m_buildingErrorPage.SetErrorType(page.attributeValue());
        return true;
    case p::errorAttribute_ErrorMailTo_attributeValue:
        m_buildingErrorPage.mailTo = page.attributeValue();
        return true;
    case p::errorAttribute_ErrorTemplate_attributeValue:
        m_buildingErrorPage.templatePath = page.ExpandTemplatePath(page.attributeValue(), true, "");
        return true;
    case p::item_errorStart_errorAttributesOpt_ErrorEnd:
        ExecuteErrorTag(m_buildingErrorPage, m_validationErrorPage, m_requestErrorPage);
        return true;

    // TSPARAM.
    case p::paramStart_ParamTag:
        m_param.Reset();
        return true;
    case p::paramAttribute_ParamName_attributeValue:
        m_param.name = page.attributeValue();
        return true;
    case p::paramAttribute_ParamDefault_attributeValue:
        m_param.SetDefault(page.attributeValue());
        return true;
    case p::item_paramStart_paramAttributesOpt_ParamEnd:
        ExecuteParam(
            m_param,
            [&page](const std::string& name) {
                std::string value;
                page.GetScopes().LookupVariable(name, -1, value);
            },
            [&page](const std::string& name, const std::string& value) { page.GetScopes().AssignVariable(name, value); });
        return true;

    // TSLOCATION and TSABORT.
    case p::locationStart_LocationTag:
        m_location.Reset();
        return true;
    case p::locationAttribute_LocationUrl_attributeValue:
        m_location.url = page.attributeValue();
        return true;
    case p::locationAttribute_LocationAddToken_attributeValue:
        m_location.SetAddToken(page.attributeValue(), page.WriteErrorReport());
        return true;
    case p::item_locationStart_locationAttributesOpt_LocationEnd: {
        CClientScope* clients = m_location.addToken.empty() || UpperCopy(m_location.addToken) != "NO"
                                    ? page.GetScopes().Clients()
                                    : nullptr;
        page.GetWriter()->Redirect(RedirectUrl(AddClientToken(m_location.url, m_location.addToken, clients)));
        m_replacedReply = true;
        Abort();
        return true;
    }
    case p::item_AbortTag:
        Abort();
        return true;

    // TSQUERY.
    case p::queryStart_QueryTag:
        m_queryTag.OnBegin(page.IsSQLDebugOn(),
                           page.GetSettings() != nullptr &&
                               page.GetSettings()->GetNumber("Debug", "WriteQueryInfo", 0) != 0 &&
                               page.IsDebugClient());
        return true;
    case p::queryAttribute_QueryName_attributeValue:
        m_queryTag.OnName(page.attributeValue(), QueryOrigin());
        return true;
    case p::queryAttribute_QueryDataSource_attributeValue:
        m_queryTag.OnDataSource(page.attributeValue());
        return true;
    case p::queryAttribute_QueryMaxRows_attributeValue:
        m_queryTag.OnMaxRows(page.attributeValue());
        return true;
    case p::queryAttribute_QueryTimeout_attributeValue:
        m_queryTag.OnTimeout(page.attributeValue());
        return true;
    case p::queryAttribute_querySqlName_attributeValue:
    case p::item_sqlStart_SqlAttribute_attributeValue_SqlEnd: {
        std::string raw = page.rawAttributeValue();
        m_queryTag.OnSql(raw.find('#') != std::string::npos ? SubstituteSql(raw) : raw);
        return true;
    }
    case p::queryAttribute_QueryUserName_attributeValue:
        m_queryTag.OnUserName(page.attributeValue());
        return true;
    case p::queryAttribute_QueryPassword_attributeValue:
        m_queryTag.OnPassword(page.attributeValue());
        return true;
    case p::queryAttribute_QueryDebug:
        m_queryTag.OnDebug(page.IsDebugClient());
        return true;
    case p::item_EndQueryTag:
        m_queryTag.OnEnd();
        return true;

    // TSOUTPUT and TSMAIL.
    case p::sectionStart_OutputTag:
        m_sections.OpenOutput(false);
        return true;
    case p::sectionStart_MailTag:
        m_sections.OpenMail();
        return true;
    case p::item_section:
        page.WriteText(m_sections.CloseTopLevel());
        return true;
    case p::sectionItem_section:
        m_sections.CloseNested(false);
        return true;
    case p::sectionAttribute_OutputQuery_attributeValue:
        m_sections.OnQuery(page.attributeValue());
        return true;
    case p::sectionAttribute_OutputGroup_attributeValue:
        m_sections.OnGroup(page.attributeValue());
        return true;
    case p::sectionAttribute_OutputMaxRows_attributeValue:
        m_sections.OnMaxRows(page.attributeValue(), page.WriteErrorReport());
        return true;
    case p::sectionAttribute_OutputStartRow_attributeValue:
        m_sections.OnStartRow(page.attributeValue(), page.WriteErrorReport());
        return true;
    case p::sectionAttribute_OutputServer_attributeValue:
        if (COutputSection* s = m_sections.Current()) s->SetServer(page.attributeValue());
        return true;
    case p::sectionAttribute_OutputPort_attributeValue:
        if (COutputSection* s = m_sections.Current()) s->SetPort(static_cast<int>(AsciiToLong(page.attributeValue())));
        return true;
    case p::sectionAttribute_OutputTimeout_attributeValue:
        if (COutputSection* s = m_sections.Current())
            s->SetTimeout(static_cast<int>(AsciiToLong(page.attributeValue())));
        return true;
    case p::sectionAttribute_OutputMimeAttach_attributeValue:
        if (COutputSection* s = m_sections.Current()) s->SetMimeAttach(page.rawAttributeValue());
        return true;
    case p::sectionAttribute_OutputSubject_attributeValue:
        m_sections.OnSubject(page.rawAttributeValue());
        return true;
    case p::sectionAttribute_OutputFrom_attributeValue:
        m_sections.OnFrom(page.rawAttributeValue());
        return true;
    case p::sectionAttribute_OutputTo_attributeValue:
        m_sections.OnTo(page.rawAttributeValue());
        return true;
    case p::sectionAttribute_OutputCc_attributeValue:
        m_sections.OnCc(page.rawAttributeValue());
        return true;
    case p::sectionAttribute_OutputType_attributeValue:
        page.rawAttributeValue();
        if (COutputSection* s = m_sections.Current()) s->SetHtmlMail();
        return true;
    case p::sectionItem_BodyText:
        if (COutputSection* s = m_sections.Current()) s->AddText(parser.OriginalLexemeText(0));
        return true;
    case p::sectionItem_setTag:
        if (COutputSection* s = m_sections.Current()) s->AddSet(parser.SetName(), parser.SetValue());
        parser.IfExpression().clear();
        return true;
    case p::sectionItem_ifTag:
        if (COutputSection* s = m_sections.Current()) s->AddIf(parser.IfExpression());
        parser.IfExpression().clear();
        return true;
    case p::sectionItem_elseIfTag:
        if (COutputSection* s = m_sections.Current()) s->AddElseIf(parser.IfExpression());
        parser.IfExpression().clear();
        return true;
    case p::sectionItem_ElseTag:
        if (COutputSection* s = m_sections.Current()) s->AddElse();
        return true;
    case p::sectionItem_EndIfTag:
        if (COutputSection* s = m_sections.Current()) s->AddEndIf();
        return true;
    case p::sectionItem_BodyOtherTag_BodyTagRest:
        ThrowInvalidSectionTag(HtmlEscape(parser.LexemeAt(0)));
    default:
        return false;
    }
}

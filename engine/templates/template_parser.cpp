#include "engine/templates/template_parser.h"

#include <algorithm>
#include <cstdio>

#include "engine/grammar/template_symbols.h"
#include "engine/server/client_scope.h"
#include "engine/templates/cookie_scope.h"
#include "engine/templates/if_block_stack.h"
#include "engine/templates/page_scopes.h"
#include "engine/templates/page_tags.h"
#include "engine/templates/query_page.h"
#include "engine/templates/template_tables.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"

namespace p = tessaro::grammar::template_grammar::production;

namespace {

[[noreturn]] void NotSupported(const char* tag) {
    throw new CWebException(std::string(tag) + " tag not supported",
                            std::string("The ") + tag + " tag is not supported by this version of the Tessaro engine.");
}

// The first production of each tag family whose actions this engine does not
// run, with the tag's name. Raising there stops the page before any of the
// tag's attributes take effect.
struct UnsupportedTag {
    std::uint32_t first;
    std::uint32_t last;
    const char* tag;
};

constexpr UnsupportedTag kUnsupported[] = {
    {p::transactionStart_TransactionTag, p::transactionStart_TransactionTag, "TSTRANSACTION"},
    {p::item_EndTransactionTag, p::item_EndTransactionTag, "/TSTRANSACTION"},
    // TSOBJECT has no action at all: without a current extension tag its
    // attributes would have nothing to act on.
    {p::extensionStart_ObjectTag, p::extensionStart_ObjectTag, "TSOBJECT"},
    {p::extensionStart_ExtensionTag, p::extensionStart_ExtensionTag, "TSX extension"},
    {p::tableStart_TableTag, p::tableStart_TableTag, "TSTABLE"},
    {p::insertStart_InsertTag, p::insertStart_UpdateTag, "TSINSERT/TSUPDATE"},
    {p::fileStart_FileTag, p::fileStart_FileTag, "TSFILE"},
    {p::reportStart_ReportTag, p::reportStart_ReportTag, "TSREPORT"},
};

}  // namespace

SSRefPtr<SSToken> CTemplateLexer::error(SSInputSource& source) {
    SSRefPtr<SSToken> lexeme = source.makeToken();
    std::string text(lexeme->view().substr(0, kMaxErrorText));
    long line = lexeme->line(), offset = lexeme->offset();
    lexeme.reset();
    error_.raiseLineOffsetText(SSErrorInvalidToken, line, offset, text.c_str());
    return nullptr;
}

int CTemplateParser::parseTemplateFile(const std::string& fileName) {
    m_crBeforeLf.clear();
    if (std::FILE* file = std::fopen(fileName.c_str(), "rb")) {
        int previous = EOF;
        for (int c; (c = std::fgetc(file)) != EOF; previous = c)
            if (c == '\n') m_crBeforeLf.push_back(previous == '\r');
        std::fclose(file);
    }
    m_lexer.setTables(TemplateLexTables());
    m_lexer.attachFile(fileName.c_str());
    m_lexer.pushExpressionList(0);
    setLex(&m_lexer);
    setTable(TemplateParseTables());
    return parse();
}

int CTemplateParser::error(std::uint32_t state, SSToken*) {
    m_errorState = state;
    error_.raise(SSErrorNoValidToken);
    return 1;
}

std::string CTemplateParser::OriginalText(const std::string& text, long line) const {
    if (text.find('\n') == std::string::npos || line < 1) return text;
    std::string out;
    out.reserve(text.size() + 16);
    std::size_t lineFeed = static_cast<std::size_t>(line - 1);
    for (char c : text) {
        if (c == '\n') {
            if (lineFeed < m_crBeforeLf.size() && m_crBeforeLf[lineFeed]) out += '\r';
            ++lineFeed;
        }
        out += c;
    }
    return out;
}

std::string CTemplateParser::OriginalLexemeText(std::uint32_t index) {
    SSParseStackEntry* entry = elementFromProduction(index);
    if (entry == nullptr || entry->lexeme() == nullptr) return {};
    return OriginalText(std::string(entry->lexeme()->view()), entry->lexeme()->line());
}

std::string CTemplateParser::LexemeText(std::uint32_t index) {
    SSParseStackEntry* entry = elementFromProduction(index);
    if (entry == nullptr || entry->lexeme() == nullptr) return {};
    return std::string(entry->lexeme()->view());
}

SSRefPtr<SSParseStackEntry> CTemplateParser::reduce(std::uint32_t production, std::uint32_t) {
    CIfBlockStack& ifs = *m_page.GetIfStack();
    // After TSABORT (here or in an included template) nothing more is processed.
    if (m_page.IsAborted()) {
        setAbort(1);
        return stackElement();
    }
    if (production == p::item_loopStart_loopAttributesOpt_LoopEnd && ifs.IsOutputOn()) {
        m_page.Tags().LoopBegin();
        return stackElement();
    }
    if (production == p::item_EndLoopTag && ifs.IsOutputOn()) {
        m_page.Tags().LoopEnd();
        return stackElement();
    }
    if (m_page.IsSkippingLoop()) return stackElement();

    switch (production) {
    case p::item_ifTag:
        ifs.If(m_ifExpression);
        m_ifExpression.clear();
        return stackElement();
    case p::item_elseIfTag:
        ifs.ElseIf(m_ifExpression);
        m_ifExpression.clear();
        return stackElement();
    case p::item_ElseTag:
        ifs.Else();
        m_ifExpression.clear();
        return stackElement();
    case p::item_EndIfTag:
        ifs.EndIf();
        m_ifExpression.clear();
        return stackElement();
    case p::conditionPart_ConditionText:
        m_ifExpression += LexemeText(0);
        return stackElement();
    case p::ifStart_IfTag:
    case p::ifStart_BodyIfTag:
    case p::elseIfStart_ElseIfTag:
    case p::elseIfStart_BodyElseIfTag:
        m_ifExpression.clear();
        return stackElement();
    default:
        break;
    }

    if (!ifs.IsOutputOn()) return stackElement();
    Dispatch(production);
    return stackElement();
}

void CTemplateParser::Dispatch(std::uint32_t production) {
    if (m_page.Tags().Dispatch(production, *this)) return;
    for (const UnsupportedTag& tag : kUnsupported)
        if (production >= tag.first && production <= tag.last) NotSupported(tag.tag);

    switch (production) {
    case p::setTag_SetTag_SetName_SetEquals_conditionOpt_ConditionEnd:
        m_setName = LexemeText(1);
        m_setValue = m_ifExpression;
        m_ifExpression.clear();
        break;
    case p::item_Text: {
        SSParseStackEntry* entry = elementFromProduction(0);
        if (entry != nullptr && entry->lexeme() != nullptr)
            m_page.WriteText(OriginalText(std::string(entry->lexeme()->view()), entry->lexeme()->line()));
        break;
    }
    case p::item_setTag:
        m_page.SetVariable(m_setName, m_page.GetEvaluator().EvaluateValue(m_setValue));
        m_ifExpression.clear();
        break;
    case p::applicationAttribute_ApplicationName_attributeValue:
        m_page.SetApplicationName(UpperCopy(m_page.attributeValue()));
        break;
    case p::applicationAttribute_ApplicationClientManagement_attributeValue: {
        std::string value = UpperCopy(m_page.attributeValue());
        if (value != "YES" && value != "NO")
            throw new CWebException(
                "The CLIENTMANAGEMENT attribute of the TSAPPLICATION tag must be either \"YES\" or \"NO\".",
                "Invalid attribute value.");
        if (CClientScope* clients = m_page.GetScopes().Clients()) {
            clients->EnableClientManagement(value == "YES");
        } else if (value == "YES") {
            throw new CWebException("Unable to enable client management.",
                                    "The client variable store could not be opened.");
        }
        break;
    }
    case p::item_includeStart_includeAttributesOpt_IncludeEnd:
        m_page.OnInclude();
        break;
    case p::cookieStart_CookieTag:
        m_page.BeginCookie();
        break;
    case p::cookieAttribute_CookieName_attributeValue:
        m_page.GetCurrentCookie()->name = UpperCopy(m_page.attributeValue());
        break;
    case p::cookieAttribute_CookieValue_attributeValue:
        m_page.GetCurrentCookie()->value = m_page.attributeValue();
        break;
    case p::cookieAttribute_CookieExpires_attributeValue:
        m_page.SetCookieExpires(m_page.attributeValue());
        break;
    case p::cookieAttribute_CookiePath_attributeValue:
        m_page.GetCurrentCookie()->path = m_page.attributeValue();
        break;
    case p::cookieAttribute_CookieDomain_attributeValue:
        m_page.GetCurrentCookie()->domain = m_page.attributeValue();
        break;
    case p::cookieAttribute_CookieSecure:
        m_page.GetCurrentCookie()->secure = true;
        break;
    case p::item_cookieStart_cookieAttributesOpt_CookieEnd:
        m_page.EndCookie();
        break;
    case p::attributeValue_Number:
    case p::attributeValue_Percentage:
    case p::attributeValue_Value:
        m_page.AppendAttributeText(LexemeText(0));
        m_page.FinishAttribute();
        break;
    case p::attributeValue_QuoteOpen_quotedText_QuoteClose:
        m_page.FinishAttribute();
        break;
    case p::quotedPart_QuotedText:
        m_page.AppendAttributeText(LexemeText(0));
        break;
    case p::quotedPart_DoubledQuote:
        m_page.AppendAttributeText("\"");
        break;
    default:
        break;
    }
}

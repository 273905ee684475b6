#include "engine/templates/template_parser.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>

#include "engine/grammar/template_symbols.h"
#include "engine/templates/tags/page_tags.h"
#include "engine/templates/template_page.h"
#include "engine/templates/template_position.h"
#include "engine/templates/template_tables.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"

namespace {

namespace token = tessaro::grammar::template_grammar::token;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

// The name of the tag a lexeme starts ("<TSLOOP " gives TSLOOP), or "" when the lexeme is no
// tag start. Text (a lone "<" among it) starts no tag.
std::string StartedTagName(std::uint32_t number, std::string_view text) {
    if (number == token::Text || number == token::BodyText) return {};
    std::size_t at = 0;
    while (at < text.size() && IsBlank(text[at])) ++at;
    if (at >= text.size() || text[at] != '<') return {};
    ++at;
    while (at < text.size() && (IsBlank(text[at]) || text[at] == '/')) ++at;
    std::size_t end = at;
    while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_')) ++end;
    return UpperCopy(std::string(text.substr(at, end - at)));
}

bool StartsSection(std::uint32_t number) {
    return number == token::OutputTag || number == token::MailTag || number == token::ReportTag;
}

}  // namespace

SSRefPtr<SSToken> CTemplateLexer::error(SSInputSource& source) {
    // The rest of the line from where no token matched: the scanner stopped at the first
    // character that fits none, and the page names the whole word written there.
    std::string ahead;
    const std::vector<unsigned char>& buffer = source.buffer();
    for (std::size_t at = source.state().mark; at < source.state().end && at < buffer.size(); ++at) {
        if (buffer[at] == '\n' || buffer[at] == '\r' || ahead.size() >= kMaxUnmatchedShown) break;
        ahead += static_cast<char>(buffer[at]);
    }
    SSRefPtr<SSToken> lexeme = source.makeToken();
    std::string text(lexeme->view().substr(0, kMaxErrorText));
    long line = lexeme->line(), offset = lexeme->offset();
    lexeme.reset();
    m_unmatched = {line, ahead.empty() ? text.substr(0, kMaxUnmatchedShown) : ahead};
    error_.raiseLineOffsetText(SSErrorInvalidToken, line, offset, text.c_str());
    return nullptr;
}

void CTemplateParser::Prepare(CQueryPage& page) {
    Release();
    m_page = &page;
}

void CTemplateParser::Release() {
    reset();
    m_lexer.reset();
    m_errorState = 0;
    m_lastShiftedLine = 0;
    m_lastTag = {};
    m_openSections.clear();
    m_lexer.forgetUnmatched();
    m_lexed.reset();
    m_nextLexeme = 0;
    m_text.clear();
    m_text.shrink_to_fit();
}

int CTemplateParser::parseTemplateText(std::string text, const std::string& fileName,
                                       const tessaro::platform::FileStamp& stamp) {
    m_text = std::move(text);
    const CTemplateTables& tables = *m_page->Services().grammar;
    m_lexer.setTables(tables.Lex());
    // Read as a file is: in text mode, a CR before an LF dropped.
    m_lexer.setSource(std::make_unique<SSStringInputSource>(m_text.data(), m_text.size(), SSInputText));
    // An empty template is refused as an empty file is.
    if (m_text.empty()) m_lexer.pendingError().raise(SSErrorFileLength, fileName.c_str(), 0L);
    m_lexer.pushExpressionList(0);
    CLexedTemplates& kept = tables.LexedFiles();
    m_lexed = kept.Find(stamp, m_text);
    // A file too large to keep is scanned as the parse goes.
    if (!m_lexed && m_text.size() <= kept.LargestKept() / 8) {
        m_lexed = CLexedTemplate::Lex(m_text, tables.Lex(), kept.LargestKept());
        kept.Keep(stamp, m_lexed);
    }
    m_nextLexeme = 0;
    if (m_lexed && !(m_lexer.source()->state() == m_lexed->Start() && m_lexer.expressionLists() == m_lexed->Lists(0)))
        m_lexed.reset();
    setLex(&m_lexer);
    setTable(tables.Parse());
    return parse();
}

SSRefPtr<SSToken> CTemplateParser::readNextToken() {
    if (m_lexed) {
        if (SSRefPtr<SSToken> lexeme = ReplayedLexeme()) return lexeme;
    }
    return SSYacc::readNextToken();
}

SSRefPtr<SSToken> CTemplateParser::ReplayedLexeme() {
    SSInputSource* source = m_lexer.source();
    if (source == nullptr || m_lexer.pendingError().pending()) return {};
    const std::vector<CLexedTemplate::Lexeme>& lexemes = m_lexed->Lexemes();
    // Where the last lexeme left the lexer, unless a loop put the input back since.
    const SSInputState& expected = m_nextLexeme == 0 ? m_lexed->Start() : lexemes[m_nextLexeme - 1].after;
    const std::uint32_t expectedLists = m_nextLexeme == 0 ? 0 : lexemes[m_nextLexeme - 1].lists;
    if (!(source->state() == expected && m_lexer.expressionLists() == m_lexed->Lists(expectedLists))) {
        const std::size_t at = m_lexed->After(source->state(), m_lexer.expressionLists());
        if (at == CLexedTemplate::kNone) return {};
        m_nextLexeme = at + 1;
    }
    if (m_nextLexeme >= lexemes.size()) return {};
    const CLexedTemplate::Lexeme& lexeme = lexemes[m_nextLexeme];
    // The form was made from these very bytes; a lexeme outside them would be no lexeme of theirs.
    if (lexeme.offset + lexeme.length > source->buffer().size()) return {};
    ++m_nextLexeme;
    // The lexer stands where its own scan would have left it.
    source->state() = lexeme.after;
    if (m_lexer.expressionLists() != m_lexed->Lists(lexeme.lists))
        m_lexer.replaceExpressionLists(m_lexed->Lists(lexeme.lists));
    const char* bytes = reinterpret_cast<const char*>(source->buffer().data()) + lexeme.offset;
    return ssShare(new SSToken(lexeme.token, bytes, lexeme.length, lexeme.line, lexeme.column));
}

SSRefPtr<SSParseStackEntry> CTemplateParser::shift(SSToken* lookahead) {
    if (lookahead != nullptr) {
        std::string_view text = lookahead->view();
        long lineFeeds = 0;
        for (char c : text) lineFeeds += c == '\n';
        // A lexeme that ends with its line feed belongs to the line it ends.
        if (!text.empty() && text.back() == '\n') --lineFeeds;
        m_lastShiftedLine = lookahead->line() + lineFeeds;
        std::string tag = StartedTagName(lookahead->token(), text);
        if (!tag.empty()) m_lastTag = {tag, lookahead->line()};
        if (StartsSection(lookahead->token())) m_openSections.push_back(m_lastTag);
        if (lookahead->token() == token::SectionEnd && !m_openSections.empty()) m_openSections.pop_back();
    }
    return SSYacc::shift(lookahead);
}

long CTemplateParser::ErrorLine(bool syntaxError) {
    long lexerLine = m_lexer.source() ? m_lexer.source()->state().line : 0;
    // Text that no token matched is where the error is.
    if (syntaxError && m_lexer.unmatched().line > 0) return m_lexer.unmatched().line;
    // At the end of input the file's last lexeme is the place: the file has no line after it.
    if (syntaxError && !endOfInput()) {
        SSToken* bad = lookahead();
        if (bad != nullptr && bad->line() > 0) return bad->line();
    }
    return m_lastShiftedLine > 0 ? m_lastShiftedLine : lexerLine;
}

int CTemplateParser::error(std::uint32_t state, SSToken*) {
    m_errorState = state;
    error_.raise(SSErrorNoValidToken);
    return 1;
}

std::string CTemplateParser::LexemeText(std::uint32_t index) {
    SSParseStackEntry* entry = elementFromProduction(index);
    if (entry == nullptr || entry->lexeme() == nullptr) return {};
    return std::string(entry->lexeme()->view());
}

SSRefPtr<SSParseStackEntry> CTemplateParser::reduce(std::uint32_t production, std::uint32_t) {
    // After TSABORT (here or in an included template) nothing more is processed.
    if (m_page->IsAborted()) {
        setAbort(1);
        return stackElement();
    }
    try {
        m_page->Tags().Reduce(production, *this);
    } catch (CWebException* e) {
        // A tag's error says where the tag is written, as an expression's error does.
        if (!NamesTemplatePosition(e->GetMessage()) && !NamesTemplatePosition(e->GetDetail()))
            e->PrependDetail(CWebMessage::FromHtml(m_page->WriteErrorReport()));
        throw;
    }
    return stackElement();
}

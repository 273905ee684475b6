#include "engine/templates/template_parser.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "engine/templates/tags/page_tags.h"
#include "engine/templates/template_page.h"
#include "engine/templates/template_tables.h"

SSRefPtr<SSToken> CTemplateLexer::error(SSInputSource& source) {
    SSRefPtr<SSToken> lexeme = source.makeToken();
    std::string text(lexeme->view().substr(0, kMaxErrorText));
    long line = lexeme->line(), offset = lexeme->offset();
    lexeme.reset();
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
    m_text.clear();
    m_text.shrink_to_fit();
}

int CTemplateParser::parseTemplateText(std::string text, const std::string& fileName) {
    m_text = std::move(text);
    m_lexer.setTables(TemplateLexTables());
    // Read as a file is: in text mode, a CR before an LF dropped.
    m_lexer.setSource(std::make_unique<SSStringInputSource>(m_text.data(), m_text.size(), SSInputText));
    // An empty template is refused as an empty file is.
    if (m_text.empty()) m_lexer.pendingError().raise(SSErrorFileLength, fileName.c_str(), 0L);
    m_lexer.pushExpressionList(0);
    setLex(&m_lexer);
    setTable(TemplateParseTables());
    return parse();
}

SSRefPtr<SSParseStackEntry> CTemplateParser::shift(SSToken* lookahead) {
    if (lookahead != nullptr) {
        std::string_view text = lookahead->view();
        long lineFeeds = 0;
        for (char c : text) lineFeeds += c == '\n';
        // A lexeme that ends with its line feed belongs to the line it ends.
        if (!text.empty() && text.back() == '\n') --lineFeeds;
        m_lastShiftedLine = lookahead->line() + lineFeeds;
    }
    return SSYacc::shift(lookahead);
}

long CTemplateParser::ErrorLine(bool syntaxError) {
    long lexerLine = m_lexer.source() ? m_lexer.source()->state().line : 0;
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
    m_page->Tags().Reduce(production, *this);
    return stackElement();
}

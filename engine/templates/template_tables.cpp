#include "engine/templates/template_tables.h"

#include "engine/grammar/grammar_tables.h"
#include "engine/parser/ss_exception.h"
#include "engine/parser/ss_lex_tables.h"
#include "engine/parser/ss_parse_tables.h"

CTemplateTables::CTemplateTables(std::unique_ptr<SSLexStateTables> lex, std::unique_ptr<SSParseTables> parse)
    : m_lex(std::move(lex)), m_parse(std::move(parse)) {}

CTemplateTables::~CTemplateTables() = default;

std::unique_ptr<CTemplateTables> CTemplateTables::Load() {
    if (!tessaro::grammar::RegisterGrammarTables()) return nullptr;
    try {
        auto lex = std::make_unique<SSLexStateTables>(nullptr, tessaro::grammar::kTemplateLexResource, "LEX");
        auto parse = std::make_unique<SSParseTables>(nullptr, tessaro::grammar::kTemplateParseResource, "YACC");
        if (lex->pendingError().pending() || parse->pendingError().pending()) return nullptr;
        return std::unique_ptr<CTemplateTables>(new CTemplateTables(std::move(lex), std::move(parse)));
    } catch (const SSException&) {
        return nullptr;
    }
}

// The template grammar tables: loaded once at start-up, read by every request's lexer and
// parser afterwards.
#pragma once

#include <memory>

class SSLexStateTables;
class SSParseTables;

class CTemplateTables {
public:
    // Both tables from the compiled-in resources; null when they are missing.
    static std::unique_ptr<CTemplateTables> Load();
    ~CTemplateTables();
    CTemplateTables(const CTemplateTables&) = delete;
    CTemplateTables& operator=(const CTemplateTables&) = delete;

    const SSLexStateTables* Lex() const { return m_lex.get(); }
    const SSParseTables* Parse() const { return m_parse.get(); }

private:
    CTemplateTables(std::unique_ptr<SSLexStateTables> lex, std::unique_ptr<SSParseTables> parse);

    std::unique_ptr<SSLexStateTables> m_lex;
    std::unique_ptr<SSParseTables> m_parse;
};

// The template grammar tables: loaded once at start-up, read by every request's lexer and
// parser afterwards; with them the lexed forms of the template files read so far.
#pragma once

#include <cstddef>
#include <memory>

#include "engine/templates/lexed_templates.h"

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
    // The files' lexed forms, shared by every request (thread-safe).
    CLexedTemplates& LexedFiles() const { return m_lexedFiles; }

    // The memory the lexed forms may hold together.
    static constexpr std::size_t kLexedFileBytes = std::size_t{32} << 20;

private:
    CTemplateTables(std::unique_ptr<SSLexStateTables> lex, std::unique_ptr<SSParseTables> parse);

    std::unique_ptr<SSLexStateTables> m_lex;
    std::unique_ptr<SSParseTables> m_parse;
    mutable CLexedTemplates m_lexedFiles{kLexedFileBytes};
};

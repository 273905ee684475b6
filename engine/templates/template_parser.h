// One template file's lexer and parser. The parser builds no tree: each
// reduction runs its action on the page at once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/parser/ss_lex.h"
#include "engine/parser/ss_yacc.h"
#include "engine/templates/lexed_templates.h"
#include "platform/checked_file.h"

class CQueryPage;

class CTemplateLexer : public SSLex {
public:
    // Keeps at most this much of the unmatched text in the error.
    static constexpr std::size_t kMaxErrorText = 4096;
    SSRefPtr<SSToken> error(SSInputSource& source) override;

    // The text no token matched, to the end of its line, and where it stands (line 0: none was
    // met), for the error page.
    static constexpr std::size_t kMaxUnmatchedShown = 200;
    struct Unmatched {
        long line = 0;
        std::string text;
    };
    const Unmatched& unmatched() const { return m_unmatched; }
    void forgetUnmatched() { m_unmatched = {}; }

private:
    Unmatched m_unmatched;
};

class CTemplateParser : public SSYacc {
public:
    explicit CTemplateParser(CQueryPage& page) : m_page(&page) {}
    ~CTemplateParser() override = default;

    // Back to a new parser's state, for the next template of `page` (a parser kept for reuse).
    void Prepare(CQueryPage& page);
    // Drops what the last parse left: its file, stack, lookahead and pending error.
    void Release();

    // Parses a template file read already (its bytes as they are; fileName names it in
    // errors), sharing the engine's tables; throws SSException on a lexical or syntax
    // error. 0 when the template was accepted. The parser keeps the text: the error report
    // quotes it, so the file is never opened again by its name. The lexemes come from the
    // file's lexed form, kept by its stamp (a file without one is lexed for this parse only).
    int parseTemplateText(std::string text, const std::string& fileName,
                          const tessaro::platform::FileStamp& stamp = {});
    const std::string& templateText() const { return m_text; }
    CTemplateLexer& lexer() { return m_lexer; }

    SSRefPtr<SSParseStackEntry> reduce(std::uint32_t production, std::uint32_t rhsLength) override;
    // The next lexeme of the lexed form, where the lexer stands at one of its places; the
    // lexer's own scan elsewhere (past the form's end, text no lexeme matches).
    SSRefPtr<SSToken> readNextToken() override;
    // The grammar has no recovery: a syntax error ends the parse in the state
    // where it was found, so that the error page can list what was expected.
    int error(std::uint32_t state, SSToken* lookahead) override;
    std::uint32_t errorState() const { return m_errorState; }
    // Notes where the shifted lexeme ends, for the line of an error found while its
    // construct runs.
    SSRefPtr<SSParseStackEntry> shift(SSToken* lookahead) override;
    // The line the error is on: for a syntax error the line of the lexeme that does not fit,
    // for an error of a running tag or expression the line its last lexeme ends on. The
    // lexer itself stands further on (it has read the next lexeme, blank lines included).
    long ErrorLine(bool syntaxError);

    // A tag the parser has read the start of ("<TSLOOP "): its name as written, upper-cased,
    // and its line. The words of a syntax error say which tag is not closed.
    struct OpenedTag {
        std::string name;
        long line = 0;
    };
    const OpenedTag& LastTag() const { return m_lastTag; }
    // The TSOUTPUT, TSMAIL and TSREPORT sections whose end tag has not come yet, outermost first.
    const std::vector<OpenedTag>& OpenSections() const { return m_openSections; }

    // What the tag families' actions read during a reduction; what they keep between
    // reductions is their own family state. Templates are read in text mode: a CR before
    // an LF is dropped, so every line ends in LF.
    std::string LexemeAt(std::uint32_t index) { return LexemeText(index); }
private:
    std::string LexemeText(std::uint32_t index);
    SSRefPtr<SSToken> ReplayedLexeme();

    CTemplateLexer m_lexer;
    CQueryPage* m_page;
    std::string m_text;
    std::shared_ptr<const CLexedTemplate> m_lexed;
    std::size_t m_nextLexeme = 0;  // of m_lexed
    std::uint32_t m_errorState = 0;
    long m_lastShiftedLine = 0;
    OpenedTag m_lastTag;
    std::vector<OpenedTag> m_openSections;
};

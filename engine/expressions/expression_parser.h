// The expression parser. Every reduction computes its value at once, so the value of the
// whole expression is ready when the parser accepts. One object serves many evaluations in
// turn (each Parse starts from a clean state); the driver keeps one per thread and nesting
// level. The steps of each short text the template wrote are kept: a page evaluates the
// same few expressions for every row, and their next evaluations run the same actions
// without lexing or the tables.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/expressions/expression_value.h"
#include "engine/expressions/function_registry.h"
#include "engine/expressions/operators.h"
#include "engine/expressions/runtime_interface.h"
#include "engine/expressions/traced_source.h"
#include "engine/parser/ss_lex.h"
#include "engine/parser/ss_lex_tables.h"
#include "engine/parser/ss_parse_tables.h"
#include "engine/parser/ss_parse_trace.h"
#include "engine/parser/ss_yacc.h"

class ExprLexClass : public SSLex {
public:
    const char* tokenText(std::uint32_t token) override;
    // A "#" that closes an expression embedded in a string leaves the expression state.
    SSRefPtr<SSToken> onTokenAccepted(SSInputSource& source, std::uint32_t token,
                                      const SSAcceptPosition& accept) override;

    // While on, where each lexeme starts in the source (for a text of mixed origin).
    void RecordStarts(bool on);
    // The start of a lexeme this lexer made, or false when it has no record of it.
    bool StartOf(const SSToken* lexeme, std::size_t& start) const;

private:
    bool m_recordStarts = false;
    // The lexemes are kept so that no other can take an address while the parse lasts.
    std::vector<SSRefPtr<SSToken>> m_lexemes;
    std::unordered_map<const SSToken*, std::size_t> m_starts;
};

// The value of an argument list while it is being parsed.
class ExprYaccArgumentList : public ExprYaccStackElement {
public:
    CExprArgumentList list;
    bool hasList = false;
};

class ExprYaccClass : public SSYacc {
public:
    ExprYaccClass(const COperatorManager* operators, CRuntimeInterface* runtime, const CFunctionRegistry* functions);
    ~ExprYaccClass() override;

    // Points the next evaluations at other collaborators (a parser kept for reuse).
    void Rebind(const COperatorManager* operators, CRuntimeInterface* runtime, const CFunctionRegistry* functions);

    // Parses and evaluates the text; the value is left in result(). Failures are
    // SSException (lexer, parser) or CExpressionException* (actions, operators, functions).
    // The strings, numbers and words of the expression have the origin of the characters
    // they are written with. A text ends at its first NUL.
    void Parse(const CTracedView& text, int row, const SSLexStateTables* lexTables, const SSParseTables* parseTables);
    // A text the template wrote.
    void Parse(const char* text, int row, const SSLexStateTables* lexTables, const SSParseTables* parseTables) {
        Parse(CTracedView::Literal(text != nullptr ? text : ""), row, lexTables, parseTables);
    }

    ExprYaccStackElement& result() { return m_result; }

    // Texts up to this long have their steps kept, and this many texts at most (then the
    // kept ones are dropped and kept afresh).
    static constexpr std::size_t kKeptTextBytes = 512;
    static constexpr std::size_t kKeptTexts = 256;
    // The texts whose steps are kept now (tests).
    std::size_t KeptTexts() const { return m_kept.size(); }

    SSRefPtr<SSParseStackEntry> stackElement() override;
    SSRefPtr<SSParseStackEntry> reduce(std::uint32_t production, std::uint32_t rhsLength) override;

private:
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
    };
    // The kept steps of the text, after forgetting those of other tables; null when none.
    const SSParseTrace* KeptSteps(std::string_view text, const SSLexStateTables* lexTables,
                                  const SSParseTables* parseTables);
    ExprYaccStackElement* Element(std::uint32_t position);
    void Reduce(std::uint32_t production, ExprYaccStackElement& result, SSRefPtr<SSParseStackEntry>& replacement);
    void LookupVariable(const char* name, ExprYaccStackElement& result);
    void CallSpecialFunction(ExprYaccStackElement& result);
    // The characters of the lexeme at a right-side position, each with its origin in the
    // source.
    CTracedText LexemeCharacters(std::uint32_t position);
    // A value wrote a character of that lexeme.
    bool LexemeFromValue(std::uint32_t position) {
        return m_source.FromValue() && LexemeCharacters(position).Origin().FromValue();
    }

    ExprYaccStackElement m_result;
    ExprLexClass m_lexer;
    // The text is lexed as its bytes: a carriage return is no white space, so one outside a
    // string is an invalid character, and one inside a string stays part of its text.
    CTracedSource m_source;
    const COperatorManager* m_operators;
    CRuntimeInterface* m_runtime;
    const CFunctionRegistry* m_functions;
    int m_row = -1;
    // Only texts the template wrote, whole: a value's characters, or a text of mixed origin,
    // are lexed each time (their lexemes carry where they stand).
    std::unordered_map<std::string, SSParseTrace, TextHash, std::equal_to<>> m_kept;
    std::uint64_t m_keptLexSerial = 0;
    std::uint64_t m_keptParseSerial = 0;
};

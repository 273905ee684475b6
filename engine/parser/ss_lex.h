#pragma once
// Table-driven scanner: longest match with fallback to the last accepting state, one
// automaton per expression list, and a stack of lists so that a token can enter or leave
// a sub-language.

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/parser/ss_exception.h"
#include "engine/parser/ss_input_source.h"
#include "engine/parser/ss_lex_tables.h"
#include "engine/parser/ss_lifo.h"
#include "engine/parser/ss_token.h"

// Everything a rewind of the lexer must put back: the source's position and counters, the
// expression-list stack and whether the end of input was reached.
struct SSLexState {
    SSInputState input;
    std::vector<std::uint32_t> lists;  // bottom first; the last one is current
};

class SSLex {
public:
    static constexpr std::uint32_t kListStackCapacity = 32;
    static constexpr std::uint32_t kListStackIncrement = 32;

    // With a file name the file is attached at once (attachFile).
    explicit SSLex(const char* fileName = nullptr);
    SSLex(const SSLex&) = delete;
    SSLex& operator=(const SSLex&) = delete;
    virtual ~SSLex();

    // The input matches no token. Default: raises code 5 with the line, offset and text of
    // the unmatched input and returns null. A lexeme returned is handed out as the token.
    virtual SSRefPtr<SSToken> error(SSInputSource& source);
    // Default "SSLexTokenNotFound".
    virtual const char* tokenText(std::uint32_t token);
    // Default: the lexeme from the mark to the accept position. Null drops the token and
    // the scan goes on (unless an error is pending).
    virtual SSRefPtr<SSToken> onTokenAccepted(SSInputSource& source, std::uint32_t token,
                                              const SSAcceptPosition& accept);

    // Opens the file as a text source (whole file, CR before LF dropped); codes 1 and 2.
    bool attachFile(const char* name);
    // Installs a source; with `owns` the lexer deletes it.
    void setSource(SSInputSource* source, bool owns);
    void setSource(std::unique_ptr<SSInputSource> source);
    SSInputSource* source() const { return source_; }

    // Shared tables stay owned by the caller and must outlive the lexer.
    void setTables(const SSLexStateTables* tables);
    void setTables(std::unique_ptr<SSLexStateTables> tables);
    const SSLexStateTables* tables() const { return tables_; }

    // The next lexeme, or null at the end of input or after an error (see pendingError).
    SSRefPtr<SSToken> nextToken();

    // Each makes the new top current. Codes 6 (no such list), 8, 9 (a pop that empties the
    // stack) and 10.
    bool pushExpressionList(std::uint32_t index);
    bool popExpressionList();
    bool switchExpressionList(std::uint32_t index);
    // Code 6 (and false) for an index not below the list count.
    bool isCurrentExpressionList(std::uint32_t index);
    // The current list; kNoList when the stack is empty.
    static constexpr std::uint32_t kNoList = 0xFFFFFFFF;
    std::uint32_t currentExpressionList() const;
    std::uint32_t expressionListDepth() const { return lists_.count(); }
    // The whole stack, bottom first; a replacement is taken as it is (a stack saved earlier).
    const std::vector<std::uint32_t>& expressionLists() const { return lists_.entries(); }
    void replaceExpressionLists(const std::vector<std::uint32_t>& lists);
    std::uint64_t tokenCount() const { return tokenCount_; }

    // Back to a new lexer's state for the next input: no source, no lists, no pending error.
    // The tables stay.
    void reset();

    SSLexState saveState() const;
    // False (and nothing changed) without a source or when the source refuses the state.
    bool restoreState(const SSLexState& state);

    SSErrorSlot& pendingError() { return error_; }

protected:
    SSErrorSlot error_;

private:
    bool stackAction(const SSLexRecord& record);
    bool makeTopCurrent();
    template <class F>
    auto onStack(F operation) -> decltype(operation());

    const SSLexStateTables* tables_ = nullptr;
    std::unique_ptr<SSLexStateTables> ownedTables_;
    SSInputSource* source_ = nullptr;
    std::unique_ptr<SSInputSource> ownedSource_;
    std::uint64_t tokenCount_ = 0;
    SSLifo<std::uint32_t> lists_{kListStackCapacity, kListStackIncrement};
    SSAcceptPosition accept_;
};

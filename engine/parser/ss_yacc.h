#pragma once
// LALR parser driver over an SSParseTables table and the lexemes of an SSLex.
//
// It builds no tree: at each reduction it calls `reduce`, which a grammar subclass
// implements and which returns the element for the left-hand side.

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/parser/ss_exception.h"
#include "engine/parser/ss_lex.h"
#include "engine/parser/ss_lifo.h"
#include "engine/parser/ss_parse_tables.h"
#include "engine/parser/ss_parse_trace.h"
#include "engine/parser/ss_ref.h"
#include "engine/parser/ss_token.h"
#include "engine/parser/ss_token_queue.h"

// One element of the parser stack. Grammar subclasses derive their value-carrying
// elements from it.
class SSParseStackEntry : public SSRef {
public:
    SSParseStackEntry() = default;

    SSToken* lexeme() const { return lexeme_.get(); }
    void setLexeme(SSToken* lexeme) { lexeme_ = ssShare(lexeme); }
    std::uint32_t state() const { return state_; }
    void setState(std::uint32_t state) { state_ = state; }

private:
    SSRefPtr<SSToken> lexeme_;
    std::uint32_t state_ = 0;
};

class SSYacc {
public:
    enum ActionKind : std::uint32_t {
        kShift = 0,
        kError = 1,
        kReduce = 2,
        kAccept = 3,
        kLookahead = 4,
    };
    static constexpr std::uint32_t kStackCapacity = 64;
    static constexpr std::uint32_t kStackIncrement = 64;
    // The deepest the element stack grows by default: deeper input (parentheses inside
    // parentheses, a million levels deep) is refused at once with code 38, where it would
    // otherwise cost time and memory out of all proportion. No real text comes near it.
    static constexpr std::uint32_t kDefaultMaxStackDepth = 10000;

    // With a file name the table is read from that file and owned.
    explicit SSYacc(const char* tableFile = nullptr);
    SSYacc(const SSYacc&) = delete;
    SSYacc& operator=(const SSYacc&) = delete;
    virtual ~SSYacc();

    // Hooks, in the order a grammar subclass usually meets them.
    virtual int errorFlag() { return errorFlag_; }
    // Default: the lexer's next lexeme; code 21 without a lexer. Null is the end of input.
    virtual SSRefPtr<SSToken> readNextToken();
    // Default: a plain SSParseStackEntry.
    virtual SSRefPtr<SSParseStackEntry> stackElement();
    // The element pushed for a shifted lexeme; default stackElement().
    virtual SSRefPtr<SSParseStackEntry> shift(SSToken* lookahead);
    // Each lexeme taken back out of the lookahead queue; non-zero stops the parse.
    virtual int onQueuedToken(SSToken* lexeme);
    // A syntax error; 0 means recovered. Default: recovery through "%error".
    virtual int error(std::uint32_t state, SSToken* lookahead);
    // A lookahead automaton failed; default error(state, lookahead).
    virtual int errorInLookahead(std::uint32_t state, SSToken* lookahead, SSToken* lookLexeme);
    // The grammar action of a production; the right-hand elements are still on the stack
    // (elementFromProduction). Returns the left-hand element, null to stop the parse.
    virtual SSRefPtr<SSParseStackEntry> reduce(std::uint32_t production, std::uint32_t rhsLength) = 0;

    void setLex(SSLex* lexer) { lexer_ = lexer; }
    SSLex* lex() const { return lexer_; }
    // A shared table stays owned by the caller and must outlive the parser.
    void setTable(const SSParseTables* table);
    void setTable(std::unique_ptr<SSParseTables> table);
    const SSParseTables* table() const { return table_; }

    // 0 when the input was accepted without syntax errors, 1 otherwise.
    int parse();
    // Back to a new parser's state for the next parse by the same object: the stack, the
    // lookahead, queued lexemes, flags, any pending error and the recording of steps.
    // Tables and lexer stay set.
    void reset();

    // While set, each shift and reduction of parse() is appended to the trace; it holds a
    // whole parse only when parse() returned 0 with no error recovered.
    void recordSteps(SSParseTrace* trace) { trace_ = trace; }
    // Runs the steps of an earlier accepted parse of the same input with the same tables:
    // the same actions, in the same order, on the same lexemes, with the same states; the
    // lexer and the tables are not asked. Only for a grammar whose actions neither read the
    // lookahead nor steer the parse. Returns as parse() does.
    int replay(const SSParseTrace& trace);

    // During reduce: the element of right-hand symbol i (0 = leftmost); code 19 outside.
    SSParseStackEntry* elementFromProduction(std::uint32_t index);
    // The tokens the state has actions for; code 35 for a state not below the state count.
    std::vector<std::uint32_t> expectedTokens(std::uint32_t state);

    // Bounds the element stack (0: no bound).
    void setMaxStackDepth(std::uint32_t depth) { maxStackDepth_ = depth; }
    std::uint32_t maxStackDepth() const { return maxStackDepth_; }

    // A non-zero value stops the parse with failure at its next step.
    void setAbort(int value) { abort_ = value; }
    int abortFlag() const { return abort_; }

    std::uint32_t state() const { return state_; }
    SSToken* lookahead() const { return lookahead_.get(); }
    ActionKind actionKind() const { return actionKind_; }
    bool endOfInput() const { return endOfInput_; }
    std::uint32_t stackDepth() const { return stack_.count(); }
    SSToken* endOfInputLexeme() const { return eofLexeme_.get(); }

    // Empties the lookahead queue (a rewind of the input makes the queued lexemes stale).
    void clearQueue() { queue_.clear(); }
    SSTokenQueue& queue() { return queue_; }
    // Takes the next lookahead (queue first, then readNextToken) and looks up its action in
    // the current state. 0 on success; code 14 after the end of input.
    int nextLookahead();
    // After the lexer was put back to an earlier state: drops the queue and the end of
    // input, then reads a fresh lookahead for the current state.
    int restartLookahead();

    SSErrorSlot& pendingError() { return error_; }

protected:
    // Sets the action kind (and state, production or automaton) for a token in a state.
    void lookupAction(std::uint32_t state, std::uint32_t token);

    SSErrorSlot error_;

private:
    int doShift();
    int doReduce();
    int resolveByAutomaton();
    int recover();
    bool pushElement(SSRefPtr<SSParseStackEntry> element);
    bool popElement();
    std::uint32_t topState();
    SSRefPtr<SSToken> fetchToken();

    SSLex* lexer_ = nullptr;
    const SSParseTables* table_ = nullptr;
    std::unique_ptr<SSParseTables> ownedTable_;
    int errorFlag_ = 0;
    int abort_ = 0;
    std::uint32_t state_ = 0;
    std::uint32_t shifts_ = 0;
    std::uint32_t automaton_ = 0;
    SSRefPtr<SSToken> lookahead_;
    bool endOfInput_ = false;
    SSTokenQueue queue_;
    std::uint32_t production_ = 0;
    std::uint32_t rhsLength_ = 0;
    std::uint32_t lhs_ = 0;
    ActionKind actionKind_ = kError;
    std::uint32_t reduceRhsLength_ = 0;  // of the reduction whose action runs now
    bool readFailed_ = false;            // the last read ended in an error, not the end of input
    std::uint64_t reductionsSinceShift_ = 0;
    std::uint32_t maxStackDepth_ = kDefaultMaxStackDepth;
    std::uint32_t stepsToCheck_ = 0;
    std::uint64_t depthAtShift_ = 0;
    SSLifo<SSRefPtr<SSParseStackEntry>> stack_{kStackCapacity, kStackIncrement};
    SSRefPtr<SSToken> eofLexeme_;
    SSParseTrace* trace_ = nullptr;
};

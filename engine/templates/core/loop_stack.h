// TSLOOP: repeats the template text between TSLOOP and /TSLOOP by rewinding the
// template's input to the start of the body. Four constructs: query rows, list
// items, a numeric index and a condition.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/parser/ss_lex.h"
#include "support/web_message.h"

class CTSXQueryImp;

// Where a loop body starts: the lexer state of one template parser.
struct LoopInputSnapshot {
    const void* owner = nullptr;  // the template parser the state belongs to
    SSLexState state;
};

// What the loop needs of the page.
class CLoopHost {
public:
    virtual ~CLoopHost() = default;
    virtual void CheckRequestTime() = 0;
    // TSLOOP CONDITION, evaluated against the current loop row.
    virtual bool EvaluateCondition(const std::string& condition) = 0;
    // INDEX values, written to the VARIABLES scope (prefix rules of TSSET).
    virtual void SetIndexVariable(const std::string& name, const std::string& value) = 0;
    // An executed query by upper-cased name; a pending TSQUERY of that name is
    // run first. Null when unknown.
    virtual CTSXQueryImp* FindQuery(const std::string& name) = 0;
    // The innermost template parser's input: its identity, its state now, and
    // putting an earlier state back (dropping the lookahead read after it).
    virtual const void* CurrentInputOwner() = 0;
    virtual LoopInputSnapshot SaveInput() = 0;
    virtual void RewindInput(const LoopInputSnapshot& snapshot) = 0;
    // The conditional blocks at loop start, and back to them when the loop ends.
    virtual void SaveConditionals() = 0;
    virtual void RestoreConditionals() = 0;
};

class CLoopIterator;

class CLoopStack {
public:
    explicit CLoopStack(CLoopHost& host);
    ~CLoopStack();

    // Skipping: a loop with no iteration, or one broken out of, skips its body
    // while its tags are still counted.
    bool IsSkipping() const { return m_depth >= m_skipLevel; }
    int Depth() const { return m_depth; }

    // <TSLOOP (not while skipping): forget the previous tag's attributes.
    void ResetAttributes();
    void SetQuery(const std::string& value);
    void SetStartRow(const std::string& value);
    void SetEndRow(const std::string& value);
    void SetList(const std::string& value);
    void SetDelimiters(const std::string& value);
    void SetCondition(const std::string& rawValue);
    void SetIndex(const std::string& value);
    void SetFrom(const std::string& value);
    void SetTo(const std::string& value);
    void SetStep(const std::string& value);
    // The end of the TSLOOP tag's attributes: the body starts here.
    void SaveInput();

    // The TSLOOP tag and /TSLOOP, while output is on.
    void LoopBegin();
    void LoopEnd();
    // <TSBREAK>.
    void LoopBreak();

    // The innermost query loop: its query (null without one) and its 1-based row.
    CTSXQueryImp* CurrentQuery() const;
    int CurrentQueryRow() const;

    // End of the template run: throws when a TSLOOP was never closed.
    void CheckBalanced() const;
    // The end of one template file: a TSLOOP opened in it must also close in it,
    // or a later file would be rewound to this one's position.
    void CheckClosedIn(const void* owner) const;

private:
    void CombineKind(unsigned bits);
    bool Begin();
    bool End();
    void SkipFrom() { m_skipLevel = m_depth; }

    CLoopHost& m_host;
    unsigned m_kind = 0;
    bool m_skippedLoop = false;
    int m_depth = 0;
    int m_skipLevel = 0x7FFFFFFF;
    CTSXQueryImp* m_query = nullptr;
    std::string m_startRow, m_endRow, m_list, m_delimiters, m_condition, m_index, m_from, m_to, m_step;
    std::vector<std::unique_ptr<CLoopIterator>> m_iterators;
    std::vector<LoopInputSnapshot> m_snapshots;
};

// The TSLOOP error: message text with the TSLOOP detail.
[[noreturn]] void ThrowLoopError(const CWebMessage& text);

// INDEX values: numbers as "%.12G".
std::string FormatLoopNumber(double value);

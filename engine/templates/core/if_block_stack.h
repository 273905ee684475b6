// The open TSIF blocks of a page run: which branch runs, and whether output is on.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/web_message.h"

class CIfBlockStack {
public:
    // Evaluates a condition; only called when its branch can still be taken.
    using Evaluate = std::function<bool(const std::string&)>;
    // Where the parse stands ("line N of the template file F"), so that a TSIF left open can be
    // named by where it opened.
    using Where = std::function<std::string()>;
    explicit CIfBlockStack(Evaluate evaluate, Where where = {})
        : m_evaluate(std::move(evaluate)), m_where(std::move(where)) {}

    void If(const std::string& condition);
    void ElseIf(const std::string& condition);
    void Else();
    void EndIf();
    bool IsOutputOn() const { return m_blocks.empty() || m_blocks.back().active; }
    // Throws when a TSIF is still open at the end of the template.
    void CheckAtEnd();
    // At a TSLOOP's start / end: blocks a loop body left open are closed again.
    void SaveForLoop() { m_loopSnapshots.push_back(m_blocks.size()); }
    void RestoreForLoop() {
        if (m_loopSnapshots.empty()) return;
        if (m_blocks.size() > m_loopSnapshots.back()) m_blocks.resize(m_loopSnapshots.back());
        m_loopSnapshots.pop_back();
    }

private:
    struct Block {
        bool parentOn;
        bool taken;
        bool active;
        bool sawElse;
        std::string openedAt;
    };
    [[noreturn]] void Mismatch(const CWebMessage& unclosed = CWebMessage());
    // The listing of conditional tags that a mismatch error shows, as the template has them.
    void Record(std::size_t depth, const std::string& text);
    Evaluate m_evaluate;
    Where m_where;
    std::vector<Block> m_blocks;
    std::vector<std::size_t> m_loopSnapshots;
    std::vector<std::pair<std::size_t, std::string>> m_listing;
    std::size_t m_listingBytes = 0;
};

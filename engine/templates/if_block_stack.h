// The open TSIF blocks of a page run: which branch runs, and whether output is on.
#pragma once

#include <functional>
#include <string>
#include <vector>

class CIfBlockStack {
public:
    // Evaluates a condition; only called when its branch can still be taken.
    using Evaluate = std::function<bool(const std::string&)>;
    explicit CIfBlockStack(Evaluate evaluate) : m_evaluate(std::move(evaluate)) {}

    void If(const std::string& condition);
    void ElseIf(const std::string& condition);
    void Else();
    void EndIf();
    bool IsOutputOn() const { return m_blocks.empty() || m_blocks.back().active; }
    // Throws when a TSIF is still open at the end of the template.
    void CheckAtEnd();

private:
    struct Block {
        bool parentOn;
        bool taken;
        bool active;
        bool sawElse;
    };
    [[noreturn]] void Mismatch();
    Evaluate m_evaluate;
    std::vector<Block> m_blocks;
};

#pragma once
// Turns the token rules of each expression list into a minimal deterministic automaton
// over bytes, with accept records carrying token, list change and flags.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/tsgrammar/grammar_model.h"

namespace tsgrammar {

struct LexTransition {
    std::uint32_t low = 0;
    std::uint32_t high = 0;
    std::uint32_t next = 0;
};

struct LexState {
    std::uint32_t token = 0;
    std::uint32_t list = 0;
    std::uint32_t flags = 0;         // 0 for a state that accepts nothing
    std::vector<LexTransition> row;  // sorted by low, not overlapping
};

struct LexListTable {
    std::vector<LexState> states;  // state 0 starts a token
};

struct LexTable {
    std::vector<LexListTable> lists;
};

// Builds one automaton per list. Throws GrammarError for a bad pattern, a pattern that
// matches the empty text, or two rules of one list that accept the same text (unless one
// of them is weak).
LexTable BuildLexTable(const Grammar& grammar);

// Accept-record flags of one rule.
std::uint32_t AcceptFlags(const LexRule& rule);

}  // namespace tsgrammar

#pragma once
// LALR(1) parse table with yacc-style precedence: every reduction is listed under each of
// its lookahead tokens (there is no default reduction).

#include <cstdint>
#include <string>
#include <vector>

#include "tools/tsgrammar/grammar_model.h"

namespace tsgrammar {

struct ParseEntry {
    std::uint32_t value = 0;   // action word, or goto target
    std::uint32_t symbol = 0;  // token number, or non-terminal number
};

struct ParseState {
    std::vector<ParseEntry> actions;  // sorted by token, end of input last
    std::vector<ParseEntry> gotos;    // sorted by non-terminal
};

struct ParseProduction {
    std::uint32_t rhsLength = 0;
    std::uint32_t lhs = 0;  // 0 for the start production
};

struct Conflict {
    std::uint32_t state = 0;
    std::uint32_t token = 0;
    std::string kind;        // "shift/reduce" or "reduce/reduce"
    std::string resolution;  // what was kept
    bool settled = false;    // settled by precedence
};

struct ParseTable {
    std::vector<ParseProduction> productions;
    std::vector<ParseState> states;
    std::vector<std::string> nonterminals;  // index i has number 0x4001 + i
    std::vector<Conflict> conflicts;        // every conflict met, settled or not
    std::size_t unsettled() const;
    std::size_t settled() const { return conflicts.size() - unsettled(); }
};

// Builds the table. Conflicts that precedence does not settle are resolved the way yacc
// does (shift over reduce, the earlier production over the later) and recorded unsettled;
// the caller decides whether they are fatal. Throws GrammarError for a malformed grammar.
ParseTable BuildParseTable(const Grammar& grammar);

}  // namespace tsgrammar

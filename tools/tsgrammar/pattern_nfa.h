#pragma once
// Token patterns and their nondeterministic automaton.
//
// Pattern syntax (white space between items is ignored):
//   "text"    letters match in either case         'text'   exact bytes
//   [a-z_]    byte class; [^...] its complement over the bytes 0-255
//   {name}    a macro of the grammar file
//   ( )  |  *  +  ?   grouping, alternation, repetition
// Escapes inside quotes and classes: \t \n \r \\ \" \' \] \- \^ \xHH.

#include <string>
#include <vector>

#include "tools/tsgrammar/grammar_model.h"

namespace tsgrammar {

struct NfaEdge {
    int low = 0;
    int high = 0;
    int to = 0;
};

struct NfaState {
    std::vector<NfaEdge> edges;
    std::vector<int> epsilon;
    int rule = -1;  // index of the rule this state accepts
};

struct Nfa {
    std::vector<NfaState> states;
    int start = 0;
};

// One automaton for all rules of a list; accepting states carry their rule index.
Nfa BuildListNfa(const Grammar& grammar, const LexList& list);

}  // namespace tsgrammar

#pragma once
// Well-formed tables the fuzz target damages, and the texts it scans and parses.

#include <vector>

namespace parser_fuzz {

// Lists with push, pop, switch and discard.
const std::vector<unsigned char>& LexSeed();
// A grammar with recovery through "%error" and a lookahead automaton.
const std::vector<unsigned char>& YaccSeed();

extern const char kSampleText[];

}  // namespace parser_fuzz

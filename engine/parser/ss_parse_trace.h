#pragma once
// The steps of one accepted parse: the lexemes shifted and the productions reduced, in
// order, with the states the tables gave them. Run again (SSYacc::replay), they make the
// same calls of the grammar's actions on the same lexemes without the lexer or the tables.

#include <cstdint>
#include <vector>

#include "engine/parser/ss_ref.h"
#include "engine/parser/ss_token.h"

struct SSParseStep {
    SSRefPtr<SSToken> lexeme;  // the shifted lexeme; null for a reduction
    std::uint32_t production = 0;
    std::uint32_t rhsLength = 0;
    std::uint32_t state = 0;  // the state entered
};
using SSParseTrace = std::vector<SSParseStep>;

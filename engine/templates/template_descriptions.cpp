#include "engine/templates/template_descriptions.h"

#include "engine/grammar/template_descriptions.h"
#include "engine/parser/ss_lex.h"

namespace {

namespace g = tessaro::grammar::template_grammar;

template <std::size_t N>
std::string Find(const std::array<g::Description, N>& table, std::uint32_t number) {
    for (const g::Description& entry : table)
        if (entry.number == number) return entry.text;
    return {};
}

}  // namespace

std::string TokenDescription(std::uint32_t token) {
    return Find(g::kTokenDescriptions, token);
}

std::string LexerStateDescription(SSLex& lexer) {
    if (lexer.tables() == nullptr) return {};
    return Find(g::kListDescriptions, lexer.currentExpressionList());
}

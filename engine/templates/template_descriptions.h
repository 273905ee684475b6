// The words of the template syntax-error page: what a token is, and what the
// lexer was reading when the error came. The words stand beside each token and
// list in tools/grammars/template.grammar; tsgrammar writes them to the build
// tree (engine/grammar/template_descriptions.h).
#pragma once

#include <cstdint>
#include <string>

class SSLex;

// Empty for tokens that have no description.
std::string TokenDescription(std::uint32_t token);
// "a TSQUERY tag", "HTML text", ...; empty when no described list is current.
std::string LexerStateDescription(SSLex& lexer);

#pragma once
// Lexemes as plain values, for comparing what a lexer delivered.

#include <ostream>
#include <string>
#include <vector>

#include "engine/parser/ss_lex.h"

struct Lexed {
    std::uint32_t token;
    std::string text;
    long line;
    long offset;
    bool operator==(const Lexed&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Lexed& l) {
    return out << "{" << l.token << ", \"" << l.text << "\", " << l.line << ", " << l.offset << "}";
}

// Every lexeme up to the end of input (or the first error).
inline std::vector<Lexed> Drain(SSLex& lexer) {
    std::vector<Lexed> out;
    while (SSRefPtr<SSToken> t = lexer.nextToken()) {
        out.push_back({t->token(), std::string(t->view()), t->line(), t->offset()});
    }
    return out;
}

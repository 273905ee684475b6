#pragma once
// A small, independent reader of LEX and YACC table blobs, used by the tests to check what
// the generated tables do without going through the parser runtime.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tablecheck {

struct Token {
    std::uint32_t number;
    std::string text;
    bool operator==(const Token&) const = default;
};

struct LexResult {
    std::vector<Token> tokens;
    bool error = false;                     // no token matched
    std::size_t errorOffset = 0;            // byte offset of the unmatched text
    std::vector<std::uint32_t> listsAfter;  // current list after each token
};

struct ParseResult {
    std::vector<std::uint32_t> reductions;
    bool accepted = false;
    bool lexError = false;
    bool syntaxError = false;
    std::uint32_t errorToken = 0;
    std::vector<std::uint32_t> expected;  // tokens of the failing state, in table order
};

class Tables {
public:
    Tables(const unsigned char* lex, std::size_t lexSize, const unsigned char* yacc, std::size_t yaccSize);

    // `poundHook` applies the expression lexer's rule: token 34 in list 0 over another list pops.
    LexResult lex(const std::string& input, bool poundHook = false) const;
    ParseResult parse(const std::string& input, bool poundHook = false) const;

    std::uint32_t listCount() const { return word(lex_, 0); }
    std::uint32_t lexStates(std::uint32_t list) const;
    std::uint32_t parseStates() const { return word(yacc_, 8); }
    std::uint32_t productions() const { return word(yacc_, 4) & 0xFFFF; }
    // Action word for token in state, 0 for none.
    std::uint32_t action(std::uint32_t state, std::uint32_t token) const;
    std::vector<std::uint32_t> actionTokens(std::uint32_t state) const;
    std::uint32_t productionLength(std::uint32_t p) const;
    std::uint32_t productionLhs(std::uint32_t p) const;

    static std::uint32_t word(const std::vector<unsigned char>& b, std::size_t at);

private:
    std::size_t blockOffset(std::uint32_t list) const;
    std::optional<std::uint32_t> move(std::size_t block, std::uint32_t state, std::uint32_t c) const;
    std::size_t row(std::uint32_t state) const;
    std::uint32_t gotoTarget(std::uint32_t state, std::uint32_t symbol) const;

    std::vector<unsigned char> lex_;
    std::vector<unsigned char> yacc_;
};

}  // namespace tablecheck

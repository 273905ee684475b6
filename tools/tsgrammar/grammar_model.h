#pragma once
// In-memory form of a grammar file: the lexer's expression lists with their token rules,
// and the parser's numbered productions with operator precedence.

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace tsgrammar {

// Every failure of the generator: bad grammar file, bad pattern, unsettled conflict.
struct GrammarError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum class ListAction { None, Push, Pop, Switch };

struct LexRule {
    std::uint32_t token = 0;
    std::string name;
    std::string pattern;
    ListAction action = ListAction::None;
    std::uint32_t targetList = 0;  // for Push and Switch
    bool discard = false;
    bool giveBackLast = false;  // the pattern's last character is context, not part of the token
    bool weak = false;          // loses a tie against any other rule (identifiers against keywords)
    std::string description;    // the token's words on the syntax-error page; empty when none
    int line = 0;
};

struct LexList {
    std::uint32_t index = 0;
    std::string description;
    std::string stateWords;  // what the lexer reads while the list is current; empty when none
    std::vector<LexRule> rules;
};

enum class Assoc { Left, Right, NonAssoc };

struct PrecedenceLevel {
    Assoc assoc = Assoc::Left;
    std::vector<std::string> tokens;  // token names
};

// One production; symbols are non-terminal names, token names or "$end".
struct Production {
    std::uint32_t number = 0;
    std::string lhs;
    std::vector<std::string> rhs;
    std::vector<std::string> marks;  // the sets (@name) the production belongs to
    int line = 0;
};

struct Grammar {
    std::string name;
    std::string lexResource;
    std::string yaccResource;
    std::map<std::string, std::string> macros;
    bool discardStartOfInput = false;
    std::vector<LexList> lists;
    std::map<std::uint32_t, std::string> tokenNames;  // every token number the lexer can return
    std::map<std::uint32_t, std::string> tokenDescriptions;  // the described tokens, by number
    std::vector<Production> productions;
    std::vector<std::string> nonterminalOrder;  // optional explicit numbering from 0x4001
    std::vector<PrecedenceLevel> precedence;    // loosest first
};

// Reads the text of a grammar file; `origin` names it in error messages.
Grammar ParseGrammar(const std::string& text, const std::string& origin);

}  // namespace tsgrammar

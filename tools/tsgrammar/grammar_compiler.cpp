#include "tools/tsgrammar/grammar_compiler.h"

#include <sstream>

namespace tsgrammar {

CompiledGrammar CompileGrammar(const std::string& text, const std::string& origin) {
    CompiledGrammar c;
    c.grammar = ParseGrammar(text, origin);
    c.lex = BuildLexTable(c.grammar);
    c.parse = BuildParseTable(c.grammar);
    c.lexBlob = WriteLexTable(c.lex);
    c.parseBlob = WriteParseTable(c.parse);
    return c;
}

std::string ConflictReport(const CompiledGrammar& c) {
    std::ostringstream out;
    std::size_t sr = 0, rr = 0, srSettled = 0;
    for (const Conflict& k : c.parse.conflicts) {
        bool shiftReduce = k.kind == "shift/reduce";
        (shiftReduce ? sr : rr)++;
        if (k.settled) {
            ++srSettled;
            continue;
        }
        out << c.grammar.name << ": state " << k.state << ", token " << k.token << ": " << k.kind << " conflict, chose "
            << k.resolution << "\n";
    }
    out << c.grammar.name << ": " << c.parse.productions.size() << " productions, " << c.parse.states.size()
        << " states, " << c.lex.lists.size() << " lexer lists; " << srSettled
        << " shift/reduce conflicts settled by precedence; " << (sr - srSettled) << " shift/reduce and " << rr
        << " reduce/reduce conflicts unsettled\n";
    return out.str();
}

}  // namespace tsgrammar

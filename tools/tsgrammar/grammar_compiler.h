#pragma once
// The whole generator run on one grammar: tables, counts and conflict report.

#include <string>

#include "tools/tsgrammar/grammar_model.h"
#include "tools/tsgrammar/lalr_builder.h"
#include "tools/tsgrammar/lex_builder.h"
#include "tools/tsgrammar/table_writer.h"

namespace tsgrammar {

struct CompiledGrammar {
    Grammar grammar;
    LexTable lex;
    ParseTable parse;
    Blob lexBlob;
    Blob parseBlob;
};

// Parses and builds both tables; never fails on conflicts (see ParseTable::unsettled).
CompiledGrammar CompileGrammar(const std::string& text, const std::string& origin);

// One line per conflict and a summary in the manner of yacc.
std::string ConflictReport(const CompiledGrammar& compiled);

}  // namespace tsgrammar

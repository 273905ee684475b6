#pragma once
// Binary LEX and YACC tables, and the C++ sources that carry them into the programs.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/tsgrammar/grammar_model.h"
#include "tools/tsgrammar/lalr_builder.h"
#include "tools/tsgrammar/lex_builder.h"

namespace tsgrammar {

using Blob = std::vector<std::uint8_t>;

Blob WriteLexTable(const LexTable& table);
Blob WriteParseTable(const ParseTable& table);

// A .cpp that defines `tessaro::grammar::k<Prefix>LexTable` and `...ParseTable`
// (engine/grammar/grammar_tables.h) over the two blobs.
std::string WriteTablesSource(const Grammar& grammar, const std::string& prefix, const Blob& lex, const Blob& yacc);

// A header of named token and production numbers, in namespace tessaro::grammar::<ns>,
// with one sorted array per production mark in namespace production_set.
std::string WriteSymbolsHeader(const Grammar& grammar, const std::string& ns);
// A production's name in that header: left side _ right side ("empty" for none).
std::string ProductionName(const Production& production);

// A header of the syntax-error page's words (the "words" of the grammar's tokens and
// lists), in namespace tessaro::grammar::<ns>; it includes the symbols header, which
// names the tokens.
std::string WriteDescriptionsHeader(const Grammar& grammar, const std::string& ns);

// Readable listing of both tables, for whoever edits a grammar.
std::string WriteListing(const LexTable& lex, const ParseTable& parse);

}  // namespace tsgrammar

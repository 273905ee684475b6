#pragma once
// The compiled grammar tables of the template language and of #...# expressions.
//
// The tables are generated at build time by tsgrammar from tools/grammars/*.grammar, together
// with the symbols headers engine/grammar/template_symbols.h and expression_symbols.h (in the
// build tree, on this library's include path).
// RegisterGrammarTables() makes them visible through the resource registry
// (platform/resources.h) as "LEX"/"YACC" resources named IDR_LEX_TSPARSER,
// IDR_YACC_TSPARSER, IDR_LEX_BOOLPARSER and IDR_YACC_BOOLPARSER; call it once at start-up
// before loading the tables (calling it again is harmless).

#include <cstddef>

namespace tessaro::grammar {

struct TableBlob {
    const char* type;  // "LEX" or "YACC"
    const char* name;  // resource name
    const unsigned char* data;
    std::size_t size;
};

extern const TableBlob kTemplateLexTable;
extern const TableBlob kTemplateParseTable;
extern const TableBlob kExpressionLexTable;
extern const TableBlob kExpressionParseTable;

inline constexpr char kTemplateLexResource[] = "IDR_LEX_TSPARSER";
inline constexpr char kTemplateParseResource[] = "IDR_YACC_TSPARSER";
inline constexpr char kExpressionLexResource[] = "IDR_LEX_BOOLPARSER";
inline constexpr char kExpressionParseResource[] = "IDR_YACC_BOOLPARSER";

// Returns false when the registry refused a table (it never should).
bool RegisterGrammarTables();

}  // namespace tessaro::grammar

// The front door of the expression evaluator: the driver (grammar tables, operators and
// built-in functions, read-only after construction and shared by all request threads; the
// engine owns one), its entry points, and the splitting of template text into literal runs
// and #...# expressions.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/expressions/expression_exception.h"
#include "engine/expressions/function_registry.h"
#include "engine/expressions/operators.h"
#include "engine/expressions/runtime_interface.h"
#include "engine/parser/ss_lex_tables.h"
#include "engine/parser/ss_parse_tables.h"

class ExprYaccClass;

class CExpressionEvaluationDriver {
public:
    // Nested evaluations (Evaluate, IIf) deeper than this on one thread fail with 0x4015.
    static constexpr int kMaxNestingDepth = 32;

    // Loads the grammar tables from the registered resources; a table that cannot be made
    // throws 0x800D "Cannot create Lex and Yacc table objects" after a log line.
    CExpressionEvaluationDriver();
    // The same with other resource names (tests).
    CExpressionEvaluationDriver(const char* lexResource, const char* parseResource);
    ~CExpressionEvaluationDriver();
    CExpressionEvaluationDriver(const CExpressionEvaluationDriver&) = delete;
    CExpressionEvaluationDriver& operator=(const CExpressionEvaluationDriver&) = delete;

    // The expression's value as a boolean (conversion errors reach the caller unchanged).
    int EvaluateToBoolean(CRuntimeInterface* runtime, const char* text, int row);
    // The expression's value as text: dates as ODBC time stamps, reals by "%.12G",
    // booleans as YES or NO. When the runtime asks for SQL escaping, the single quotes that
    // came from values are doubled once here, after every function and operator has worked
    // on the real text; the template's own quotes stay (QuoteValuesForSql).
    void EvaluateToString(CRuntimeInterface* runtime, const char* text, std::string& result, int row);
    // The expression's value as text with the origin of its characters, nothing doubled (a
    // nested evaluation: its caller's SQL text doubles once). The text's own characters
    // carry their origin into the value: what a value wrote in it is from a value.
    void EvaluateToTracedText(CRuntimeInterface* runtime, const CTracedView& text, CTracedText& result, int row);
    // A template text with #...# parts as SQL: the literal runs as written ("##" is one
    // "#"), each part evaluated as it would be inside the text's string, the quotes that
    // came from values in its value doubled on its own as EvaluateToString does. So quotes
    // the template writes stay, and no value can end a quoted SQL string. Unmatched
    // delimiters throw 0x4007.
    void EvaluateSqlTemplateText(CRuntimeInterface* runtime, const char* text, std::string& result, int row);

    // Runs the parse and maps its failures to the author's messages: parser errors by their
    // code, evaluator errors to code 0 with a composed text. The text's own characters
    // carry their origin into the value.
    void Evaluate(ExprYaccClass& parser, const CTracedView& text, int row);
    void Evaluate(ExprYaccClass& parser, const char* text, int row) {
        Evaluate(parser, CTracedView::Literal(text != nullptr ? text : ""), row);
    }

    // A template text already wrapped in double quotes, rewritten as one string expression:
    // each double quote between the enclosing ones and outside any #...# part is doubled.
    // Unmatched delimiters throw 0x4007.
    static void ConvertToStringExpression(const char* text, std::string& output);

    const COperatorManager& Operators() const { return *m_operators; }
    const CFunctionRegistry& Functions() const { return *m_functions; }

private:
    void LoadTables(const char* lexResource, const char* parseResource);
    void PrepareGlobalObjects();

    std::unique_ptr<SSLexStateTables> m_lexTables;
    std::unique_ptr<SSParseTables> m_parseTables;
    std::unique_ptr<COperatorManager> m_operators;
    std::unique_ptr<CFunctionRegistry> m_functions;
};

class SSException;
// The author's message for a parser runtime error, thrown as CExpressionException (a log
// line first for the internal kinds).
[[noreturn]] void ThrowParserError(const SSException& e);
// The text an evaluator error reaches the caller with (code 0): an author's error keeps
// its own text, an internal one becomes the system-error text with its number.
std::string ComposeEvaluatorMessage(std::uint32_t code, const std::string& text);

// One run of a split template text: kind 0 literal text, 2 an expression (without its
// pound signs). The caller may turn a segment into kind 1 (a bound query column) and then
// uses the two fields that follow.
struct ExpressionSegment {
    std::string text;
    std::uint32_t kind = 0;
    void* reference = nullptr;
    std::int32_t referenceNumber = 0;
};
using ExpressionSegmentList = std::vector<ExpressionSegment>;

// The runs of the text in order; "##" outside an expression is one "#". Unmatched quotes or
// pound signs throw CExpressionException 0x4007 "The expression contains unmatched single
// quotes, double quotes, or pound signs." (nothing is left allocated).
ExpressionSegmentList* SplitPoundExpressions(const char* text);
void FreeExpressionSegments(ExpressionSegmentList* segments);

inline constexpr char kUnmatchedDelimitersText[] =
    "The expression contains unmatched single quotes, double quotes, or pound signs.";

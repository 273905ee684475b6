#include "engine/expressions/expression_driver.h"

#include <memory>
#include <vector>

#include "engine/expressions/expression_log.h"
#include "engine/expressions/expression_parser.h"
#include "engine/grammar/grammar_tables.h"
#include "engine/parser/ss_exception.h"

namespace {

thread_local int t_depth = 0;

// Counts nested evaluations on this thread; too deep a nesting is an author's error, not
// a stack overflow.
class NestingGuard {
public:
    NestingGuard() {
        if (t_depth >= CExpressionEvaluationDriver::kMaxNestingDepth)
            ThrowExpressionError(
                expr_code::kNestingTooDeep,
                FormatExpressionMessage("The expression nests evaluations (Evaluate, IIf) more than %d "
                                        "levels deep",
                                        CExpressionEvaluationDriver::kMaxNestingDepth));
        ++t_depth;
    }
    ~NestingGuard() { --t_depth; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;
};

// The parser of the current nesting level on this thread, kept from one evaluation to the
// next: a page evaluates hundreds of expressions, and a nested evaluation (IIf, Evaluate)
// runs while the level below it is still parsing, so each level has its own.
ExprYaccClass& ThreadParser(const COperatorManager* operators, CRuntimeInterface* runtime,
                            const CFunctionRegistry* functions) {
    thread_local std::vector<std::unique_ptr<ExprYaccClass>> parsers;
    const std::size_t level = static_cast<std::size_t>(t_depth - 1);
    while (parsers.size() <= level) parsers.push_back(std::make_unique<ExprYaccClass>(nullptr, nullptr, nullptr));
    ExprYaccClass& parser = *parsers[level];
    parser.Rebind(operators, runtime, functions);
    return parser;
}

}  // namespace

void ThrowParserError(const SSException& e) {
    const long code = static_cast<long>(e.code);
    const char* source = "CExpressionEvaluationDriver::Evaluate";
    switch (e.code) {
        case SSErrorInvalidToken:
            ThrowExpressionError(
                expr_code::kInvalidElement,
                FormatExpressionMessage("Invalid expression element. The usual cause of this error is a "
                                        "misspelling in the expression text. (%ld)",
                                        code));
        case SSErrorStackFull:
            LogExpressionError(source, "SSExceptionLifoFull");
            ThrowExpressionError(
                expr_code::kParserStackFull,
                FormatExpressionMessage("An unexpected system error has occured during the evaluation of the "
                                        "expression. The system may be running low on memory or system "
                                        "resources. (%ld)",
                                        code));
        case SSErrorNestedTooDeeply:
            ThrowExpressionError(expr_code::kNestingTooDeep,
                                 FormatExpressionMessage("The expression is nested too deeply (parentheses and "
                                                         "operators more than %ld levels deep)",
                                                         static_cast<long>(SSYacc::kDefaultMaxStackDepth)));
        case SSErrorInvalidParseTable:
            LogExpressionError(source, "SSExceptionParseFailed");
            ThrowExpressionError(
                expr_code::kInvalidFormat,
                FormatExpressionMessage("Invalid expression format. The usual cause is an error in the "
                                        "expression structure. (%ld)",
                                        code));
        case SSErrorNoValidToken:
            ThrowExpressionError(
                expr_code::kInvalidFormulation,
                FormatExpressionMessage(
                    "Invalid expression formulation. The usual cause of this error is the inclusion of an "
                    "unexpected syntax element or omission of a required syntax element in the expression "
                    "text, as in '1 / / 2' or '1  2'. (%ld)",
                    code));
        default:
            LogExpressionError(source, "VParseException");
            ThrowExpressionError(
                expr_code::kParserError,
                FormatExpressionMessage(
                    "An unexpected parser error has occurred during the evaluation of the expression.<BR>"
                    "The error is usually caused by the Tessaro server running low on memory and/or system "
                    "resources. However, in rare cases, the error may be caused by invalid expression "
                    "syntax. Check the syntax of the expression against the Tessaro manual (docs/templates.md, sections "
                    "\"Operators\" and \"Built-in functions\"). (%ld)",
                    code));
    }
}

std::string ComposeEvaluatorMessage(std::uint32_t code, const std::string& text) {
    if (code & expr_code::kAuthorClass) return text;
    if (code & expr_code::kInternalClass)
        return FormatExpressionText(
            "An unexpected system error was detected. (Error code is %u)<BR><BR>This type of error will most likely "
            "occur when the server running Tessaro is low on memory and/or system resources.<BR>If you continue to "
            "experience this error <b>in a reproducible fashion</b> you should contact Brendlow technical support.<BR>",
            code - expr_code::kInternalClass);
    return "An unknown system error was detected. (Error code is not known)<BR>";
}

CExpressionEvaluationDriver::CExpressionEvaluationDriver()
    : CExpressionEvaluationDriver(tessaro::grammar::kExpressionLexResource,
                                  tessaro::grammar::kExpressionParseResource) {}

CExpressionEvaluationDriver::CExpressionEvaluationDriver(const char* lexResource, const char* parseResource) {
    tessaro::grammar::RegisterGrammarTables();
    LoadTables(lexResource, parseResource);
    PrepareGlobalObjects();
}

CExpressionEvaluationDriver::~CExpressionEvaluationDriver() = default;

void CExpressionEvaluationDriver::LoadTables(const char* lexResource, const char* parseResource) {
    try {
        m_lexTables = std::make_unique<SSLexStateTables>(nullptr, lexResource, "LEX");
        m_parseTables = std::make_unique<SSParseTables>(nullptr, parseResource, "YACC");
    } catch (const SSException&) {
        m_lexTables.reset();
        m_parseTables.reset();
    }
    if (!m_lexTables || !m_lexTables->valid() || !m_parseTables || !m_parseTables->valid())
        ThrowLoggedExpressionError("CExpressionEvaluationDriver::CExpressionEvaluationDriver", "cannot create tables",
                                   expr_code::kCannotCreateTables, "Cannot create Lex and Yacc table objects");
}

void CExpressionEvaluationDriver::PrepareGlobalObjects() {
    try {
        m_operators = std::make_unique<COperatorManager>();
        m_functions = BuildFunctionRegistry();
    } catch (...) {
        LogExpressionError("CExpressionEvaluationDriver::PrepareGlobalObjects", "a new operator failed");
        throw;
    }
}

void CExpressionEvaluationDriver::Evaluate(ExprYaccClass& parser, const CTracedView& text, int row) {
    try {
        parser.Parse(text, row, m_lexTables.get(), m_parseTables.get());
    } catch (CExpressionException* e) {
        std::string message = ComposeEvaluatorMessage(e->GetCode(), e->GetText());
        delete e;
        ThrowExpressionError(expr_code::kTextOnly, CWebMessage::FromHtml(message));
    } catch (const SSException& e) {
        ThrowParserError(e);
    }
}

int CExpressionEvaluationDriver::EvaluateToBoolean(CRuntimeInterface* runtime, const char* text, int row) {
    NestingGuard nesting;
    ExprYaccClass& parser = ThreadParser(m_operators.get(), runtime, m_functions.get());
    Evaluate(parser, text, row);
    return parser.result().AsBool();
}

void CExpressionEvaluationDriver::EvaluateToString(CRuntimeInterface* runtime, const char* text, std::string& result,
                                                   int row) {
    NestingGuard nesting;
    ExprYaccClass& parser = ThreadParser(m_operators.get(), runtime, m_functions.get());
    Evaluate(parser, text, row);
    // Moved out: the kept parser holds no copy of a long value until its next use.
    if (runtime != nullptr && runtime->EscapeSingleQuotes() != 0)
        result = QuoteValuesForSql(parser.result().TakeTraced());
    else
        result = parser.result().TakeString();
}

void CExpressionEvaluationDriver::EvaluateToTracedText(CRuntimeInterface* runtime, const CTracedView& text,
                                                       CTracedText& result, int row) {
    NestingGuard nesting;
    ExprYaccClass& parser = ThreadParser(m_operators.get(), runtime, m_functions.get());
    Evaluate(parser, text, row);
    result = parser.result().TakeTraced();
}

void CExpressionEvaluationDriver::EvaluateSqlTemplateText(CRuntimeInterface* runtime, const char* text,
                                                          std::string& result, int row) {
    std::unique_ptr<ExpressionSegmentList, void (*)(ExpressionSegmentList*)> segments(SplitPoundExpressions(text),
                                                                                      FreeExpressionSegments);
    std::string out, value;
    for (const ExpressionSegment& segment : *segments) {
        if (segment.kind != 2) {
            out += segment.text;
            continue;
        }
        // Inside a string, as the whole text would have been read: the same forms are allowed.
        EvaluateToString(runtime, ("\"#" + segment.text + "#\"").c_str(), value, row);
        out += value;
    }
    result = std::move(out);
}

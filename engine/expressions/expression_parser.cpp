#include "engine/expressions/expression_parser.h"

#include <memory>
#include <string>

#include "engine/expressions/expression_exception.h"
#include "engine/expressions/expression_log.h"
#include "engine/grammar/expression_symbols.h"
#include "engine/parser/ss_input_source.h"
#include "interfaces/tsx.h"

namespace tok = tessaro::grammar::expression_grammar::token;
namespace prod = tessaro::grammar::expression_grammar::production;

namespace {

constexpr const char* kTokenNames[] = {nullptr,
                                       nullptr,
                                       ",",
                                       "int",
                                       "real",
                                       "ident",
                                       "(",
                                       ")",
                                       "+",
                                       "-",
                                       "/",
                                       "\\",
                                       "*",
                                       "mod",
                                       "^",
                                       "true",
                                       "false",
                                       "yes",
                                       "no",
                                       "and",
                                       "or",
                                       "xor",
                                       "not",
                                       "eqv",
                                       "imp",
                                       "is",
                                       "isnot",
                                       "contains",
                                       "doesnotcontain",
                                       "gt",
                                       "gte",
                                       "lt",
                                       "lte",
                                       "&",
                                       "#",
                                       "\"",
                                       "'",
                                       "PreserveSingleQuotes",
                                       "ValueList",
                                       "QuotedValueList",
                                       "ParameterExists",
                                       "dqs_plain_text",
                                       "dqs#",
                                       "dqs_double_pound",
                                       "dqs_double_quote",
                                       "dqs_double_double_quote",
                                       "sqs_plain_text",
                                       "sqs#",
                                       "sqs_double_pound",
                                       "sqs_single_quote",
                                       "sqs_double_single_quote"};

// Binary operator numbers of productions 3 to 23, in production order.
constexpr unsigned kBinaryOperators[] = {10, 11, 9, 8, 7, 16, 17, 18, 19, 22, 23, 20, 21, 15, 0, 1, 5, 4, 2, 3, 6};

// Special function numbers of productions 85 to 88 and the names they call.
constexpr std::int32_t kSpecialNumbers[] = {1, 3, 2, 4};
constexpr const char* kSpecialNames[] = {nullptr, nullptr, "ValueList", "QuotedValueList", "ParameterExists"};

const char* TextOf(const char* text) {
    return text != nullptr ? text : "";
}

const char* LexemeText(ExprYaccStackElement* element) {
    SSToken* lexeme = element->lexeme();
    return lexeme ? lexeme->text() : "";
}

// On every way out of a parse: the lexer drops its borrowed source, and the parser the
// values still on its stack (a parser kept for reuse would hold them until its next parse).
struct ParseGuard {
    SSYacc& parser;
    SSLex& lexer;
    ~ParseGuard() {
        lexer.setSource(nullptr, false);
        parser.reset();
    }
};

}  // namespace

const char* ExprLexClass::tokenText(std::uint32_t token) {
    if (token == 0xFFFFFFFEu) return "%error";
    if (token == 0xFFFFFFFFu) return "eof";
    if (token < sizeof kTokenNames / sizeof kTokenNames[0] && kTokenNames[token] != nullptr) return kTokenNames[token];
    return "SSLexTokenNotFound";
}

SSRefPtr<SSToken> ExprLexClass::onTokenAccepted(SSInputSource& source, std::uint32_t token,
                                                const SSAcceptPosition& accept) {
    // The lexeme is made from the mark: that is where it starts in the source's buffer, and
    // so in the text (a traced source drops nothing).
    const std::size_t start = m_recordStarts ? source.state().discarded + source.state().mark : 0;
    SSRefPtr<SSToken> lexeme = SSLex::onTokenAccepted(source, token, accept);
    if (token == tok::Hash && expressionListDepth() > 1 && currentExpressionList() == 0) popExpressionList();
    if (m_recordStarts && lexeme) {
        m_starts[lexeme.get()] = start;
        m_lexemes.push_back(lexeme);
    }
    return lexeme;
}

void ExprLexClass::RecordStarts(bool on) {
    m_recordStarts = on;
    if (m_lexemes.empty()) return;
    m_starts.clear();
    m_lexemes.clear();
}

bool ExprLexClass::StartOf(const SSToken* lexeme, std::size_t& start) const {
    const auto it = m_starts.find(lexeme);
    if (it == m_starts.end()) return false;
    start = it->second;
    return true;
}

ExprYaccClass::ExprYaccClass(const COperatorManager* operators, CRuntimeInterface* runtime,
                             const CFunctionRegistry* functions)
    : m_operators(operators), m_runtime(runtime), m_functions(functions) {}

ExprYaccClass::~ExprYaccClass() = default;

void ExprYaccClass::Rebind(const COperatorManager* operators, CRuntimeInterface* runtime,
                           const CFunctionRegistry* functions) {
    m_operators = operators;
    m_runtime = runtime;
    m_functions = functions;
}

const SSParseTrace* ExprYaccClass::KeptSteps(std::string_view text, const SSLexStateTables* lexTables,
                                             const SSParseTables* parseTables) {
    if (lexTables->serial() != m_keptLexSerial || parseTables->serial() != m_keptParseSerial) {
        m_kept.clear();
        m_keptLexSerial = lexTables->serial();
        m_keptParseSerial = parseTables->serial();
    }
    const auto it = m_kept.find(text);
    return it == m_kept.end() ? nullptr : &it->second;
}

void ExprYaccClass::Parse(const CTracedView& text, int row, const SSLexStateTables* lexTables,
                          const SSParseTables* parseTables) {
    // Whatever an earlier evaluation left (a failure stops a parse anywhere) goes first.
    reset();
    m_result.Reset();
    m_source.Assign(text);
    // Made before the guard, which stops the recording when the parse ends however it ends.
    SSParseTrace recording;
    ParseGuard guard{*this, m_lexer};
    setTable(parseTables);
    m_row = row;
    if (m_runtime != nullptr) m_runtime->m_row = row;
    // What the lexer reads: the text up to its first NUL.
    const std::string_view read = text.text().substr(0, text.text().find('\0'));
    const bool keepable = !m_source.FromValue() && read.size() <= kKeptTextBytes && lexTables != nullptr &&
                          parseTables != nullptr;
    if (keepable) {
        if (const SSParseTrace* steps = KeptSteps(read, lexTables, parseTables)) {
            if (replay(*steps) != 0 && m_result.inType == 0) throw SSException(SSErrorInvalidParseTable, "parse failed");
            return;
        }
        recordSteps(&recording);
    }
    m_lexer.reset();
    m_lexer.RecordStarts(m_source.IsMixed());
    m_lexer.setSource(&m_source.Input(), false);
    m_lexer.setTables(lexTables);
    m_lexer.pushExpressionList(0);
    setLex(&m_lexer);
    const int failed = parse();
    // The runtime reported failure without throwing: the text is no expression.
    if (failed != 0 && m_result.inType == 0) throw SSException(SSErrorInvalidParseTable, "parse failed");
    // Only a parse accepted with no error recovered is the whole of the text's steps.
    if (keepable && failed == 0 && errorFlag() == 0) {
        if (m_kept.size() >= kKeptTexts) m_kept.clear();
        m_kept.emplace(std::string(read), std::move(recording));
    }
}

SSRefPtr<SSParseStackEntry> ExprYaccClass::stackElement() {
    return ssShare<SSParseStackEntry>(new ExprYaccStackElement());
}

CTracedText ExprYaccClass::LexemeCharacters(std::uint32_t position) {
    const SSToken* lexeme = Element(position)->lexeme();
    if (lexeme == nullptr) return CTracedText();
    if (!m_source.IsMixed()) return CTracedText::Uniform(std::string(lexeme->view()), m_source.FromValue());
    std::size_t start = 0;
    // A lexeme the lexer did not make (the error token) is trusted with nothing.
    if (!m_lexer.StartOf(lexeme, start)) return CTracedText::Value(std::string(lexeme->view()));
    return m_source.Characters(start, lexeme->length());
}

// Every element on the stack was made by stackElement() or reduce(), so it is a value.
ExprYaccStackElement* ExprYaccClass::Element(std::uint32_t position) {
    return static_cast<ExprYaccStackElement*>(elementFromProduction(position));
}

SSRefPtr<SSParseStackEntry> ExprYaccClass::reduce(std::uint32_t production, std::uint32_t /*rhsLength*/) {
    auto* fresh = new ExprYaccStackElement();
    SSRefPtr<SSParseStackEntry> element = ssShare<SSParseStackEntry>(fresh);
    SSRefPtr<SSParseStackEntry> replacement;
    try {
        Reduce(production, *fresh, replacement);
    } catch (const CRuntimeInterfaceExceptionBase& e) {
        // A request failure that reached here outside a variable lookup.
        ThrowExpressionError(expr_code::kLookupFailed,
                             CWebMessage::FromHtml(e.GetFirst()) + "<P>" + CWebMessage::FromHtml(e.GetSecond()));
    } catch (CTSXException* e) {
        // An extension tag's error that reached the expression through the request.
        const std::unique_ptr<CTSXException> owned(e);
        ThrowExpressionError(expr_code::kExtensionTag,
                             CWebMessage::FromHtml(FormatExpressionText("%s<BR>%s\n", TextOf(e->GetTitle()),
                                                                        TextOf(e->GetDetail()))));
    }
    return replacement ? replacement : element;
}

void ExprYaccClass::LookupVariable(const char* name, ExprYaccStackElement& result) {
    std::string value;
    if (m_runtime == nullptr)
        ThrowExpressionError(expr_code::kLookupFailed, CWebMessage("Variable not found<P>") + std::string(name));
    try {
        m_runtime->LookupVariable(name, m_row, value, 0);
    } catch (const CRuntimeInterfaceExceptionBase& e) {
        ThrowExpressionError(expr_code::kLookupFailed,
                             CWebMessage::FromHtml(e.GetFirst()) + "<P>" + CWebMessage::FromHtml(e.GetSecond()));
    }
    // The text stays as it is: functions work on the real value, and SQL text doubles the
    // quotes that came from values once, at the end (EvaluateToString), which no cut can split.
    result.SetText(std::move(value));
    result.SetUniformOrigin(true);
}

void ExprYaccClass::CallSpecialFunction(ExprYaccStackElement& result) {
    ExprYaccStackElement* which = Element(0);
    ExprYaccStackElement* argument = Element(2);
    const std::int32_t number = which->AsInt();
    // Written by a value (an evaluated request text), the call is the value's: no value may
    // ask for its quotes to be kept.
    const bool calledByValue = which->FromValue() || argument->FromValue();
    if (number == 1) {
        std::string value;
        if (m_runtime == nullptr)
            ThrowExpressionError(expr_code::kLookupFailed,
                                 CWebMessage("Variable not found<P>") + argument->AsStdString());
        try {
            m_runtime->LookupVariable(argument->AsStdString(), m_row, value, 0);
        } catch (const CRuntimeInterfaceExceptionBase& e) {
            ThrowExpressionError(expr_code::kLookupFailed,
                                 CWebMessage::FromHtml(e.GetFirst()) + "<P>" + CWebMessage::FromHtml(e.GetSecond()));
        }
        result.SetText(std::move(value));
        result.SetUniformOrigin(calledByValue);
        return;
    }
    if (number < 2 || number > 4)
        ThrowLoggedExpressionError("ExprYaccClass::reduce",
                                   FormatExpressionText("Invalid special function number %d", number),
                                   expr_code::kInvalidSpecialFunction, "Invalid special function number");
    SSRefPtr<ExprYaccStackElement> copy(new ExprYaccStackElement());
    CopyValue(*argument, *copy);
    CExprArgumentList arguments;
    arguments.Append(std::move(copy));
    m_functions->FindFunction(m_runtime, kSpecialNames[number], &arguments, &result);
    if (calledByValue) result.MarkFromValue();
}

void ExprYaccClass::Reduce(std::uint32_t production, ExprYaccStackElement& result,
                           SSRefPtr<SSParseStackEntry>& replacement) {
    switch (production) {
        case prod::Goal_TopExpression:
            CopyValue(*Element(0), m_result);
            return;
        case prod::TopExpression_Expression:
        case prod::Expression_Operand:
        case prod::Operand_Number:
        case prod::Operand_VariableRef:
        case prod::Operand_FunctionCall:
        case prod::Operand_DqString:
        case prod::Operand_SqString:
        case prod::VariableRef_VariableName:
        case prod::FunctionCall_PlainCall:
        case prod::DqBody_DqParts:
        case prod::DqParts_DqPart:
        case prod::DqPart_VariableRef:
        case prod::DqPart_FunctionCall:
        case prod::SqBody_SqParts:
        case prod::SqParts_SqPart:
        case prod::SqPart_VariableRef:
        case prod::SqPart_FunctionCall:
        case prod::FunctionCall_SpecialCall:
            CopyValue(*Element(0), result);
            return;
        case prod::Expression_LeftParen_Expression_RightParen:
        case prod::VariableRef_Pound_VariableName_Pound:
        case prod::VariableRef_DqPound_VariableName_Pound:
        case prod::VariableRef_SqPound_VariableName_Pound:
        case prod::FunctionCall_Pound_PlainCall_Pound:
        case prod::FunctionCall_DqPound_PlainCall_Pound:
        case prod::FunctionCall_SqPound_PlainCall_Pound:
        case prod::DqString_DoubleQuote_DqBody_DqsDoubleQuote:
        case prod::SqString_SingleQuote_SqBody_SqsSingleQuote:
        case prod::FunctionCall_Pound_SpecialCall_Pound:
        case prod::FunctionCall_DqPound_SpecialCall_Pound:
        case prod::FunctionCall_SqPound_SpecialCall_Pound:
            CopyValue(*Element(1), result);
            return;
        case prod::Expression_Not_Expression:
            m_operators->EvaluateUnary(m_runtime, expr_op::kNot, Element(1), &result);
            return;
        case prod::Operand_Minus_Number:
        case prod::Operand_Minus_VariableRef:
        case prod::Operand_Minus_FunctionCall:
            m_operators->EvaluateUnary(m_runtime, expr_op::kUnaryMinus, Element(1), &result);
            return;
        case prod::Operand_Plus_Number:
        case prod::Operand_Plus_VariableRef:
        case prod::Operand_Plus_FunctionCall:
            m_operators->EvaluateUnary(m_runtime, expr_op::kUnaryPlus, Element(1), &result);
            return;
        case prod::Operand_Minus_LeftParen_Expression_RightParen:
            m_operators->EvaluateUnary(m_runtime, expr_op::kUnaryMinus, Element(2), &result);
            return;
        case prod::Operand_Plus_LeftParen_Expression_RightParen:
            m_operators->EvaluateUnary(m_runtime, expr_op::kUnaryPlus, Element(2), &result);
            return;
        case prod::Operand_True:
            result.SetBoolean(true);
            result.SetUniformOrigin(LexemeFromValue(0));
            return;
        case prod::Operand_False:
            result.SetBoolean(false);
            result.SetUniformOrigin(LexemeFromValue(0));
            return;
        case prod::Operand_Yes:
            result.SetText("YES");
            result.SetUniformOrigin(LexemeFromValue(0));
            return;
        case prod::Operand_No:
            result.SetText("NO");
            result.SetUniformOrigin(LexemeFromValue(0));
            return;
        case prod::Pound_Hash:
        case prod::DqPound_DqsPound:
        case prod::SqPound_SqsPound:
            return;
        case prod::VariableName_Ident:
            LookupVariable(LexemeText(Element(0)), result);
            return;
        case prod::PlainCall_Ident_LeftParen_OptionalArguments_RightParen: {
            auto* arguments = dynamic_cast<ExprYaccArgumentList*>(Element(2));
            CExprArgumentList* list = arguments != nullptr && arguments->hasList ? &arguments->list : nullptr;
            m_functions->FindFunction(m_runtime, LexemeText(Element(0)), list, &result);
            // A call a value wrote computes what the value chose.
            if (LexemeFromValue(0)) result.MarkFromValue();
            return;
        }
        case prod::OptionalArguments_empty:
            replacement = ssShare<SSParseStackEntry>(new ExprYaccArgumentList());
            return;
        case prod::OptionalArguments_ArgumentList:
        case prod::ArgumentList_ArgumentList_Comma_Expression: {
            auto* list = new ExprYaccArgumentList();
            replacement = ssShare<SSParseStackEntry>(list);
            if (auto* previous = dynamic_cast<ExprYaccArgumentList*>(Element(0))) {
                list->list = std::move(previous->list);
                previous->list.Clear();
                previous->hasList = false;
            }
            list->hasList = true;
            if (production == prod::ArgumentList_ArgumentList_Comma_Expression) {
                SSRefPtr<ExprYaccStackElement> argument(new ExprYaccStackElement());
                CopyValue(*Element(2), *argument);
                list->list.Append(std::move(argument));
            }
            return;
        }
        case prod::ArgumentList_Expression: {
            auto* list = new ExprYaccArgumentList();
            replacement = ssShare<SSParseStackEntry>(list);
            SSRefPtr<ExprYaccStackElement> argument(new ExprYaccStackElement());
            CopyValue(*Element(0), *argument);
            list->list.Append(std::move(argument));
            list->hasList = true;
            return;
        }
        case prod::Number_Real:
        case prod::Number_Int:
        case prod::DqPart_DqsPlainText:
        case prod::SqPart_SqsPlainText:
        case prod::SpecialArgument_Ident:
            // The characters as written, each with the origin it has in the source.
            result.SetTracedText(LexemeCharacters(0));
            return;
        case prod::DqBody_empty:
        case prod::SqBody_empty:
            result.SetText(std::string());
            return;
        case prod::DqParts_DqParts_DqPart:
        case prod::SqParts_SqParts_SqPart: {
            // The head is popped after this reduction: taking its text keeps a string of many
            // parts (every doubled quote is one) linear to build.
            ConcatenateTexts(*Element(0), *Element(1), result, true,
                             m_runtime != nullptr && m_runtime->EscapeSingleQuotes() != 0);
            return;
        }
        case prod::DqPart_DqsDoublePound:
        case prod::SqPart_SqsDoublePound:
            result.SetText("#");
            result.SetUniformOrigin(LexemeFromValue(0));
            return;
        case prod::DqPart_DqsDoubleDoubleQuote:
            result.SetText("\"");
            result.SetUniformOrigin(LexemeFromValue(0));
            return;
        case prod::SqPart_SqsDoubleSingleQuote:
            // One quote of two: from a value when either was.
            result.SetText("'");
            result.SetUniformOrigin(LexemeFromValue(0));
            return;
        case prod::SpecialCall_SpecialName_LeftParen_SpecialArgument_RightParen:
            CallSpecialFunction(result);
            return;
        case prod::SpecialName_PreserveSingleQuotes:
        case prod::SpecialName_QuotedValueList:
        case prod::SpecialName_ValueList:
        case prod::SpecialName_ParameterExists:
            result.SetInteger(kSpecialNumbers[production - prod::SpecialName_PreserveSingleQuotes]);
            result.SetUniformOrigin(LexemeFromValue(0));
            return;
        default:
            break;
    }
    if (production >= prod::Expression_Expression_Eqv_Expression &&
        production <= prod::Expression_Expression_Caret_Expression) {
        ExprYaccStackElement* left = Element(0);
        ExprYaccStackElement* right = Element(2);
        m_operators->EvaluateBinary(m_runtime,
                                    kBinaryOperators[production - prod::Expression_Expression_Eqv_Expression], left,
                                    right, &result);
        return;
    }
    ThrowLoggedExpressionError(
        "ExprYaccClass::reduce", FormatExpressionText("Invalid production number %u", production),
        expr_code::kParserError, "An unexpected parser error has occurred during the evaluation of the expression.");
}

// The generated tables loaded through the resource registry and driven by the parser
// runtime: lexemes, list changes and reduction order as the engine will see them.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/parser/ss_input_source.h"
#include "engine/parser/ss_lex.h"
#include "engine/parser/ss_lex_tables.h"
#include "engine/parser/ss_parse_tables.h"
#include "engine/parser/ss_yacc.h"
#include "engine/grammar/expression_symbols.h"
#include "engine/grammar/grammar_tables.h"
#include "engine/grammar/template_symbols.h"

namespace {

namespace tg = tessaro::grammar;

// The module handle of the registry: the tables are registered before the first load.
const void* registeredModule() {
    tg::RegisterGrammarTables();
    return nullptr;
}

struct LoadedGrammar {
    LoadedGrammar(const char* lexName, const char* yaccName)
        : lex(registeredModule(), lexName, "LEX"), yacc(registeredModule(), yaccName, "YACC") {}
    SSLexStateTables lex;
    SSParseTables yacc;
};

const LoadedGrammar& templateGrammar() {
    static const LoadedGrammar g(tg::kTemplateLexResource, tg::kTemplateParseResource);
    return g;
}

const LoadedGrammar& expressionGrammar() {
    static const LoadedGrammar g(tg::kExpressionLexResource, tg::kExpressionParseResource);
    return g;
}

// The expression lexer's rule for "#": closing an expression embedded in a string.
class ExpressionLexer : public SSLex {
public:
    SSRefPtr<SSToken> onTokenAccepted(SSInputSource& source, std::uint32_t token,
                                      const SSAcceptPosition& accept) override {
        SSRefPtr<SSToken> lexeme = SSLex::onTokenAccepted(source, token, accept);
        if (token == tg::expression_grammar::token::Hash && expressionListDepth() > 1 && currentExpressionList() == 0)
            popExpressionList();
        return lexeme;
    }
};

std::unique_ptr<SSLex> makeLexer(const LoadedGrammar& g, const std::string& text, bool expression) {
    std::unique_ptr<SSLex> lex = expression ? std::make_unique<ExpressionLexer>() : std::make_unique<SSLex>();
    lex->setTables(&g.lex);
    lex->setSource(std::make_unique<SSStringInputSource>(text.data(), text.size()));
    lex->pushExpressionList(0);
    return lex;
}

struct Lexeme {
    std::uint32_t token;
    std::string text;
    long line;
    bool operator==(const Lexeme&) const = default;
};

std::vector<Lexeme> lexAll(const LoadedGrammar& g, const std::string& text, bool expression) {
    auto lex = makeLexer(g, text, expression);
    std::vector<Lexeme> out;
    while (SSRefPtr<SSToken> t = lex->nextToken()) out.push_back({t->token(), std::string(t->view()), t->line()});
    return out;
}

class RecordingParser : public SSYacc {
public:
    SSRefPtr<SSParseStackEntry> reduce(std::uint32_t production, std::uint32_t) override {
        reductions.push_back(production);
        return stackElement();
    }
    std::vector<std::uint32_t> reductions;
};

std::vector<std::uint32_t> parseAll(const LoadedGrammar& g, const std::string& text, bool expression) {
    auto lex = makeLexer(g, text, expression);
    RecordingParser parser;
    parser.setLex(lex.get());
    parser.setTable(&g.yacc);
    EXPECT_EQ(parser.parse(), 0) << text;
    return parser.reductions;
}

TEST(RuntimeDrive, TablesLoadFromTheResourceRegistry) {
    EXPECT_EQ(templateGrammar().lex.listCount(), 26u);
    EXPECT_EQ(templateGrammar().yacc.stateCount(), 380u);
    EXPECT_EQ(templateGrammar().yacc.productionCount(), 259u);
    EXPECT_EQ(expressionGrammar().lex.listCount(), 3u);
    EXPECT_EQ(expressionGrammar().yacc.stateCount(), 144u);
    EXPECT_EQ(expressionGrammar().yacc.productionCount(), 93u);
}

TEST(RuntimeDrive, TemplateLexemesAndLines) {
    namespace t = tg::template_grammar::token;
    auto lexemes = lexAll(templateGrammar(), "a\n<TSSET x=5>\n<tsquery NAME = \"q\"\"r\">", false);
    std::vector<Lexeme> expected{{t::Text, "a\n", 1},     {t::SetTag, "<TSSET ", 2},     {t::SetName, "x", 2},
                                 {t::SetEquals, "=", 2},  {t::ConditionText, "5", 2},    {t::ConditionEnd, ">", 2},
                                 {t::Text, "\n", 2},      {t::QueryTag, "<tsquery ", 3}, {t::QueryName, "NAME = ", 3},
                                 {t::QuoteOpen, "\"", 3}, {t::QuotedText, "q", 3},       {t::DoubledQuote, "\"\"", 3},
                                 {t::QuotedText, "r", 3}, {t::QuoteClose, "\"", 3},      {t::TagClose, ">", 3}};
    EXPECT_EQ(lexemes, expected);
}

TEST(RuntimeDrive, TemplateInvalidTokenRaisesCode5) {
    auto lex = makeLexer(templateGrammar(), "x\n<TSQUERY bogus=1>", false);
    ASSERT_TRUE(lex->nextToken());
    ASSERT_TRUE(lex->nextToken());
    try {
        lex->nextToken();
        FAIL() << "no error";
    } catch (const SSException& e) {
        EXPECT_EQ(e.code, 5u);
        EXPECT_NE(std::string(e.what()).find("Line 2"), std::string::npos) << e.what();
    }
}

TEST(RuntimeDrive, TemplateReductionOrder) {
    namespace p = tg::template_grammar::production;
    EXPECT_EQ(parseAll(templateGrammar(), "a<TSIF x>b</TSIF><TSSET v=#w#>", false),
              (std::vector<std::uint32_t>{p::item_Text,
                                          p::items_item,
                                          p::ifStart_IfTag,
                                          p::conditionPart_ConditionText,
                                          p::conditionParts_conditionPart,
                                          p::conditionOpt_conditionParts,
                                          p::ifTag_ifStart_conditionOpt_ConditionEnd,
                                          p::item_ifTag,
                                          p::items_items_item,
                                          p::item_Text,
                                          p::items_items_item,
                                          p::item_EndIfTag,
                                          p::items_items_item,
                                          p::conditionPart_ConditionText,
                                          p::conditionParts_conditionPart,
                                          p::conditionOpt_conditionParts,
                                          p::setTag_SetTag_SetName_SetEquals_conditionOpt_ConditionEnd,
                                          p::item_setTag,
                                          p::items_items_item,
                                          p::template_items}));
    auto loop = parseAll(templateGrammar(), "<TSLOOP index=i from=1 to=2>x</TSLOOP>", false);
    EXPECT_EQ(loop,
              (std::vector<std::uint32_t>{25, 250, 36, 29, 248, 37, 28, 248, 38, 28, 27, 22, 3, 16, 2, 23, 2, 1}));
}

TEST(RuntimeDrive, TemplateSyntaxErrorReportsTheTagState) {
    auto lex = makeLexer(templateGrammar(), "<TSLOOP ", false);
    RecordingParser parser;
    parser.setLex(lex.get());
    parser.setTable(&templateGrammar().yacc);
    try {
        parser.parse();
        FAIL() << "no syntax error";
    } catch (const SSException& e) {
        EXPECT_EQ(e.code, 16u);
    }
    EXPECT_EQ(parser.expectedTokens(parser.state()),
              (std::vector<std::uint32_t>{49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59}));
    EXPECT_TRUE(parser.reductions.empty());
}

TEST(RuntimeDrive, ExpressionLexemes) {
    namespace t = tg::expression_grammar::token;
    auto lexemes = lexAll(expressionGrammar(), "a IS NOT \"x#b#y\" AND c is nothing", true);
    std::vector<Lexeme> expected{{t::Ident, "a", 1},        {t::IsNot, "IS NOT", 1},   {t::DoubleQuote, "\"", 1},
                                 {t::DqsPlainText, "x", 1}, {t::DqsPound, "#", 1},     {t::Ident, "b", 1},
                                 {t::Hash, "#", 1},         {t::DqsPlainText, "y", 1}, {t::DqsDoubleQuote, "\"", 1},
                                 {t::And, "AND", 1},        {t::Ident, "c", 1},        {t::Is, "is", 1},
                                 {t::Ident, "nothing", 1}};
    EXPECT_EQ(lexemes, expected);
    // The character after a multi-word operator is read again, line breaks included.
    auto split = lexAll(expressionGrammar(), "a GREATER THAN\nb", true);
    ASSERT_EQ(split.size(), 3u);
    EXPECT_EQ(split[1], (Lexeme{t::Gt, "GREATER THAN", 1}));
    EXPECT_EQ(split[2], (Lexeme{t::Ident, "b", 2}));
}

TEST(RuntimeDrive, ExpressionPrecedence) {
    namespace p = tg::expression_grammar::production;
    const std::uint32_t n1 = p::Number_Int, n2 = p::Operand_Number, n3 = p::Expression_Operand;
    EXPECT_EQ(parseAll(expressionGrammar(), "1 + 2 * 3", true),
              (std::vector<std::uint32_t>{n1, n2, n3, n1, n2, n3, n1, n2, n3, p::Expression_Expression_Star_Expression,
                                          p::Expression_Expression_Plus_Expression, p::TopExpression_Expression,
                                          p::Goal_TopExpression}));
    EXPECT_EQ(
        parseAll(expressionGrammar(), "NOT 1 IS 2", true),
        (std::vector<std::uint32_t>{n1, n2, n3, n1, n2, n3, p::Expression_Expression_Is_Expression,
                                    p::Expression_Not_Expression, p::TopExpression_Expression, p::Goal_TopExpression}));
}

}  // namespace

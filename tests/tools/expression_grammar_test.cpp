// The generated expression tables: tokens, multi-word operators, strings and the parse
// shapes that operator precedence gives.
#include <gtest/gtest.h>

#include "tests/tools/table_driver.h"
#include "engine/grammar/expression_symbols.h"
#include "engine/grammar/grammar_tables.h"

namespace {

namespace tg = tessaro::grammar;
using tablecheck::Tables;
using tablecheck::Token;

const Tables& expressionTables() {
    static const Tables t(tg::kExpressionLexTable.data, tg::kExpressionLexTable.size, tg::kExpressionParseTable.data,
                          tg::kExpressionParseTable.size);
    return t;
}

TEST(ExpressionGrammar, TableCounts) {
    const Tables& t = expressionTables();
    EXPECT_EQ(t.listCount(), 3u);
    EXPECT_EQ(t.productions(), 93u);
    EXPECT_EQ(t.parseStates(), 144u);
    EXPECT_STREQ(tg::kExpressionLexTable.name, "IDR_LEX_BOOLPARSER");
    EXPECT_STREQ(tg::kExpressionParseTable.name, "IDR_YACC_BOOLPARSER");
}

TEST(ExpressionGrammar, NonterminalsFollowTheDeclaredOrder) {
    namespace p = tg::expression_grammar::production;
    const Tables& t = expressionTables();
    EXPECT_EQ(t.productionLhs(p::start), 0u);
    EXPECT_EQ(t.productionLength(p::start), 2u);
    EXPECT_EQ(t.productionLhs(p::TopExpression_Expression), 16385u);
    EXPECT_EQ(t.productionLhs(p::Goal_TopExpression), 16386u);
    EXPECT_EQ(t.productionLhs(p::SpecialArgument_Ident), 16409u);
    EXPECT_EQ(t.productionLength(p::PlainCall_Ident_LeftParen_OptionalArguments_RightParen), 4u);
    EXPECT_EQ(t.productionLength(p::OptionalArguments_empty), 0u);
}

struct LexCase {
    const char* input;
    std::vector<Token> tokens;
};

class ExpressionLexer : public ::testing::TestWithParam<LexCase> {};

TEST_P(ExpressionLexer, TokenSequence) {
    auto r = expressionTables().lex(GetParam().input, true);
    EXPECT_FALSE(r.error) << "at offset " << r.errorOffset;
    EXPECT_EQ(r.tokens, GetParam().tokens);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExpressionLexer,
    ::testing::Values(
        LexCase{"andx and trueish TRUE", {{5, "andx"}, {19, "and"}, {5, "trueish"}, {15, "TRUE"}}},
        LexCase{"\"yes' yes 'NO'", {{17, "\"yes'"}, {5, "yes"}, {18, "'NO'"}}},
        LexCase{"1e5 1.5E3 1.5e3 2.", {{3, "1"}, {5, "e5"}, {4, "1.5E3"}, {4, "1.5"}, {5, "e3"}, {4, "2."}}},
        LexCase{"a.b_1.c x", {{5, "a.b_1.c"}, {5, "x"}}}, LexCase{"a IS NOT b", {{5, "a"}, {26, "IS NOT"}, {5, "b"}}},
        LexCase{"a is\tnot(b)", {{5, "a"}, {26, "is\tnot"}, {6, "("}, {5, "b"}, {7, ")"}}},
        LexCase{"a IS NOTHING", {{5, "a"}, {25, "IS"}, {5, "NOTHING"}}},
        LexCase{"a IS NOT.x", {{5, "a"}, {25, "IS"}, {5, "NOT.x"}}},
        LexCase{"a NEQ b EQ c EQUAL d",
                {{5, "a"}, {26, "NEQ"}, {5, "b"}, {25, "EQ"}, {5, "c"}, {25, "EQUAL"}, {5, "d"}}},
        LexCase{"a NOT EQUAL b", {{5, "a"}, {26, "NOT EQUAL"}, {5, "b"}}},
        LexCase{"a NOT EQUALS b", {{5, "a"}, {22, "NOT"}, {5, "EQUALS"}, {5, "b"}}},
        LexCase{"a GREATER THAN OR EQUAL TO b", {{5, "a"}, {30, "GREATER THAN OR EQUAL TO"}, {5, "b"}}},
        LexCase{"a GREATER THAN OR EQUAL TOTAL",
                {{5, "a"}, {29, "GREATER THAN"}, {20, "OR"}, {25, "EQUAL"}, {5, "TOTAL"}}},
        LexCase{"a LESS THAN\nb LTE c", {{5, "a"}, {31, "LESS THAN"}, {5, "b"}, {32, "LTE"}, {5, "c"}}},
        LexCase{"a DOES NOT CONTAIN \"x\"", {{5, "a"}, {28, "DOES NOT CONTAIN"}, {35, "\""}, {41, "x"}, {44, "\""}}},
        LexCase{"a GREATER THAN", {{5, "a"}, {5, "GREATER"}, {5, "THAN"}}},
        LexCase{"\"a\"\"b##c\"", {{35, "\""}, {41, "a"}, {45, "\"\""}, {41, "b"}, {43, "##"}, {41, "c"}, {44, "\""}}},
        LexCase{"'x#v#y'''", {{36, "'"}, {46, "x"}, {47, "#"}, {5, "v"}, {34, "#"}, {46, "y"}, {50, "''"}, {49, "'"}}},
        LexCase{"#f(1,2)# & -3 mod 2 \\ 4 ^ 5 * 6 / 7",
                {{34, "#"}, {5, "f"},  {6, "("}, {3, "1"},  {2, ","},    {3, "2"},  {7, ")"},
                 {34, "#"}, {33, "&"}, {9, "-"}, {3, "3"},  {13, "mod"}, {3, "2"},  {11, "\\"},
                 {3, "4"},  {14, "^"}, {3, "5"}, {12, "*"}, {3, "6"},    {10, "/"}, {3, "7"}}},
        LexCase{"ValueList(x) PreserveSingleQuotes QUOTEDVALUELIST ParameterExists valuelists",
                {{38, "ValueList"},
                 {6, "("},
                 {5, "x"},
                 {7, ")"},
                 {37, "PreserveSingleQuotes"},
                 {39, "QUOTEDVALUELIST"},
                 {40, "ParameterExists"},
                 {5, "valuelists"}}}));

TEST(ExpressionGrammar, CarriageReturnOutsideAStringIsAnInvalidToken) {
    auto r = expressionTables().lex("a\rb");
    EXPECT_TRUE(r.error);
    EXPECT_EQ(r.errorOffset, 1u);
    EXPECT_FALSE(expressionTables().lex("\"a\rb\"").error);
}

struct ParseCase {
    const char* input;
    std::vector<std::uint32_t> reductions;
};

class ExpressionParser : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ExpressionParser, ReductionOrder) {
    auto r = expressionTables().parse(GetParam().input, true);
    EXPECT_TRUE(r.accepted) << "syntax error on token " << r.errorToken;
    EXPECT_EQ(r.reductions, GetParam().reductions);
}

// 60 39 26: an integer becoming an expression; 53 45 40 26: a variable name.
INSTANTIATE_TEST_SUITE_P(
    Cases, ExpressionParser,
    ::testing::Values(ParseCase{"1+2*3", {60, 39, 26, 60, 39, 26, 60, 39, 26, 21, 17, 2, 1}},
                      ParseCase{"1*2+3", {60, 39, 26, 60, 39, 26, 21, 60, 39, 26, 17, 2, 1}},
                      ParseCase{"2^3^2", {60, 39, 26, 60, 39, 26, 23, 60, 39, 26, 23, 2, 1}},
                      ParseCase{"NOT 1 IS 2", {60, 39, 26, 60, 39, 26, 8, 24, 2, 1}},
                      ParseCase{"NOT 1 AND 2", {60, 39, 26, 24, 60, 39, 26, 7, 2, 1}},
                      ParseCase{"1 & 2 + 3", {60, 39, 26, 60, 39, 26, 60, 39, 26, 17, 16, 2, 1}},
                      ParseCase{"a IMP b EQV c", {53, 45, 40, 26, 53, 45, 40, 26, 53, 45, 40, 26, 3, 4, 2, 1}},
                      ParseCase{"-(1)", {60, 39, 26, 33, 26, 2, 1}}, ParseCase{"-#a#", {44, 53, 44, 46, 29, 26, 2, 1}},
                      ParseCase{"f()", {55, 54, 49, 41, 26, 2, 1}},
                      ParseCase{"f(1, x)", {60, 39, 26, 57, 53, 45, 40, 26, 58, 56, 54, 49, 41, 26, 2, 1}},
                      ParseCase{"ValueList(q)", {87, 89, 84, 83, 41, 26, 2, 1}},
                      ParseCase{"\"a#b#\"", {66, 64, 71, 53, 44, 47, 69, 65, 63, 61, 42, 26, 2, 1}},
                      ParseCase{"''", {73, 72, 43, 26, 2, 1}}));

TEST(ExpressionGrammar, UnaryMinusDoesNotApplyToAString) {
    auto r = expressionTables().parse("-\"x\"", true);
    EXPECT_TRUE(r.syntaxError);
    EXPECT_EQ(r.errorToken, 35u);
}

TEST(ExpressionGrammar, TrailingOperatorIsASyntaxErrorAtTheEnd) {
    auto r = expressionTables().parse("1 +", true);
    EXPECT_TRUE(r.syntaxError);
    EXPECT_EQ(r.errorToken, 0xFFFFFFFFu);
}

}  // namespace

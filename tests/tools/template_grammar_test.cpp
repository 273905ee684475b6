// The generated template tables: token sequences of the lexer lists and the order in
// which the parser reduces productions.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/tools/table_driver.h"
#include "engine/grammar/grammar_tables.h"
#include "engine/grammar/template_symbols.h"

namespace {

namespace tg = tessaro::grammar;
using tablecheck::Tables;

const Tables& templateTables() {
    static const Tables t(tg::kTemplateLexTable.data, tg::kTemplateLexTable.size, tg::kTemplateParseTable.data,
                          tg::kTemplateParseTable.size);
    return t;
}

std::vector<std::uint32_t> numbers(const tablecheck::LexResult& r) {
    std::vector<std::uint32_t> out;
    for (const auto& t : r.tokens) out.push_back(t.number);
    return out;
}

TEST(TemplateGrammar, TableCounts) {
    const Tables& t = templateTables();
    EXPECT_EQ(t.listCount(), 26u);
    EXPECT_EQ(t.productions(), 259u);
    EXPECT_EQ(t.parseStates(), 380u);
    EXPECT_EQ(tg::template_grammar::kProductionCount, 259u);
    EXPECT_STREQ(tg::kTemplateLexTable.name, "IDR_LEX_TSPARSER");
    EXPECT_STREQ(tg::kTemplateParseTable.type, "YACC");
}

TEST(TemplateGrammar, LeftSideSymbolsKeepTheirKnownNumbers) {
    const Tables& t = templateTables();
    struct Case {
        std::uint32_t production, lhs, length;
    };
    for (const Case& k :
         {Case{0, 0, 2}, Case{5, 0x4004, 1}, Case{6, 0x4004, 1}, Case{11, 0x4008, 1}, Case{13, 0x4009, 1},
          Case{15, 0x400B, 5}, Case{16, 0x4003, 1}, Case{22, 0x4003, 3}, Case{25, 0x400C, 1}, Case{26, 0x400D, 0},
          Case{27, 0x400D, 1}, Case{251, 0x4010, 3}, Case{257, 0x4060, 1}, Case{258, 0x4060, 1}}) {
        EXPECT_EQ(t.productionLhs(k.production), k.lhs) << k.production;
        EXPECT_EQ(t.productionLength(k.production), k.length) << k.production;
    }
}

struct LexCase {
    const char* input;
    std::vector<std::uint32_t> tokens;
};

class TemplateLexer : public ::testing::TestWithParam<LexCase> {};

TEST_P(TemplateLexer, TokenSequence) {
    auto r = templateTables().lex(GetParam().input);
    EXPECT_FALSE(r.error) << "at offset " << r.errorOffset;
    EXPECT_EQ(numbers(r), GetParam().tokens);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TemplateLexer,
    ::testing::Values(LexCase{"<tsquery name=q datasource=d>", {25, 122, 39, 118, 39, 126}},
                      LexCase{"<KSQUERY name=q>", {25, 122, 39, 126}},
                      LexCase{"< TsQuery\tNAME = q>", {25, 122, 39, 126}}, LexCase{"<TSIF>", {1, 1}},
                      LexCase{"<TSELSE>", {10}}, LexCase{"<TSELSE >", {10}}, LexCase{"<KSELSE\n>x", {10, 1}},
                      LexCase{"a<!--- x <!--- y ---> z --->b", {1, 1}},
                      LexCase{"<TSLOOP from=100 to=100% step=10px>", {13, 55, 40, 56, 41, 57, 39, 59}},
                      LexCase{"<TSAPPLICATION NAME = \"a\"\"b\">", {3, 69, 42, 43, 45, 43, 44, 71}},
                      LexCase{"<TSAPPLICATION name=\"\">", {3, 69, 42, 44, 71}},
                      LexCase{"<TSSET x=5>", {17, 66, 67, 46, 47}}, LexCase{"<TSSET x = 5>", {17, 66, 67, 46, 47}},
                      LexCase{"<TSSET #a#=#b# & \"x>\">", {17, 66, 67, 46, 46, 47}},
                      LexCase{"<TSSET a.b=1>", {17, 66, 67, 46, 47}},
                      LexCase{"<TSIF #x# IS \"a\">y</TSIF>", {9, 46, 46, 47, 1, 12}}, LexCase{"</ TSLOOP >", {14}},
                      LexCase{"<TSOUTPUT query=q>t #x#<TSQUERY a><TSIF x>y</TSIF></TSMAIL>z",
                              {30, 139, 39, 153, 155, 159, 153, 156, 46, 47, 153, 12, 158, 1}},
                      LexCase{"<TSMAIL to=a><TSOUTPUT>x</KSOUTPUT></ TSOUTPUT >", {31, 149, 39, 30, 153, 158, 158}},
                      LexCase{"<TSTABLE query=q border><TSCOL width=5 header=\"H\"></TSTABLE>",
                              {32, 162, 39, 167, 126, 170, 171, 40, 173, 42, 43, 44, 126, 175}},
                      LexCase{"<TSX_map a=1 debug>", {7, 86, 40, 87, 88}}, LexCase{"<TSOBJECT q=1>", {6, 86, 40, 88}},
                      LexCase{"<TSFILE file = a filefield=b>", {33, 91, 39, 92, 39, 24}},
                      LexCase{"<TSREPORT @p=1 title=t>b</TSREPORT>", {8, 181, 40, 178, 39, 153, 158}},
                      LexCase{"<TSCOOKIE name=n secure>", {19, 100, 39, 105, 106}},
                      LexCase{"<TSTRANSACTION>x</TSTRANSACTION>", {21, 116, 1, 22}}, LexCase{"<TSABORT>", {24}},
                      LexCase{"<TSSQL sql=\"select 1\">", {27, 121, 42, 43, 44, 128}}, LexCase{"<TSBREAK >", {15}}));

TEST(TemplateGrammar, TokenTextsAreTheMatchedText) {
    auto r = templateTables().lex("ab<TSIF x = \"1\">c");
    ASSERT_FALSE(r.error);
    std::vector<tablecheck::Token> expected{{1, "ab"}, {9, "<TSIF "}, {46, "x = "}, {46, "\"1\""}, {47, ">"}, {1, "c"}};
    EXPECT_EQ(r.tokens, expected);
}

TEST(TemplateGrammar, ListChangesFollowTheTokens) {
    auto r = templateTables().lex("<TSQUERY name=\"q\">");
    ASSERT_FALSE(r.error);
    // push 18, push 2, switch to 3, stay, pop to 18, pop to 0
    EXPECT_EQ(r.listsAfter, (std::vector<std::uint32_t>{18, 2, 3, 3, 18, 0}));
}

TEST(TemplateGrammar, UnknownAttributeIsAnInvalidToken) {
    auto r = templateTables().lex("<TSQUERY bogus=1>");
    EXPECT_TRUE(r.error);
    EXPECT_EQ(r.errorOffset, 9u);
    auto lone = templateTables().lex("x\r\n<TSIF\ra>");  // a lone CR is not white space
    EXPECT_FALSE(lone.error);
    EXPECT_EQ(numbers(lone), (std::vector<std::uint32_t>{1, 1, 1}));
}

struct ParseCase {
    const char* input;
    std::vector<std::uint32_t> reductions;
};

class TemplateParser : public ::testing::TestWithParam<ParseCase> {};

TEST_P(TemplateParser, ReductionOrder) {
    auto r = templateTables().parse(GetParam().input);
    EXPECT_TRUE(r.accepted) << "syntax error on token " << r.errorToken;
    EXPECT_EQ(r.reductions, GetParam().reductions);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TemplateParser,
    ::testing::Values(
        ParseCase{"a<TSIF x>b</TSIF>", {16, 3, 5, 11, 10, 8, 4, 17, 2, 16, 2, 19, 2, 1}},
        ParseCase{"<TSSET v=1>", {11, 10, 8, 15, 21, 3, 1}},
        ParseCase{"<TSLOOP index=i from=1 to=3>x</TSLOOP>",
                  {25, 250, 36, 29, 248, 37, 28, 248, 38, 28, 27, 22, 3, 16, 2, 23, 2, 1}},
        ParseCase{"<TSLOOP >", {25, 26, 22, 3, 1}},
        ParseCase{"<TSQUERY name=q sql=\"s\"\"t\" debug>", {116, 250, 121, 120, 129, 257, 256, 258, 255, 257, 255,
                                                            254, 252, 251, 125, 119, 128, 119, 118, 115, 3,   1}},
        ParseCase{"<TSOUTPUT query=q>#a#</TSOUTPUT>", {135, 250, 141, 140, 138, 158, 157, 155, 134, 133, 3, 1}},
        ParseCase{"<TSMAIL></TSMAIL>", {136, 137, 154, 134, 133, 3, 1}},
        ParseCase{"<TSTABLE><TSCOL ></TSTABLE>", {179, 180, 195, 196, 194, 193, 178, 3, 1}},
        ParseCase{"<TSX_a b>", {92, 98, 96, 94, 90, 3, 1}},
        ParseCase{"<TSOUTPUT><TSQUERY a></TSOUTPUT>", {135, 137, 165, 157, 158, 156, 155, 134, 133, 3, 1}}));

TEST(TemplateGrammar, SyntaxErrorListsTheExpectedTokensInTableOrder) {
    // Without default reductions the error shows in the state of the tag itself.
    auto r = templateTables().parse("<TSQUERY ");
    ASSERT_TRUE(r.syntaxError);
    EXPECT_EQ(r.errorToken, 0xFFFFFFFFu);
    EXPECT_TRUE(r.reductions.empty());
    EXPECT_EQ(r.expected, (std::vector<std::uint32_t>{118, 119, 120, 121, 122, 123, 124, 125, 126}));
}

TEST(TemplateGrammar, LoopAttributesReduceOnlyOnTheClosingBracket) {
    // The loop rewinds its input at the reduction of its attributes, which must come after
    // the ">" of the tag has been read: no state may reduce without a matching lookahead.
    auto r = templateTables().parse("<TSLOOP index=i");
    EXPECT_TRUE(r.syntaxError);
    EXPECT_EQ(r.reductions, (std::vector<std::uint32_t>{25}));
    auto bare = templateTables().parse("<TSLOOP ");
    ASSERT_TRUE(bare.syntaxError);
    EXPECT_TRUE(bare.reductions.empty());
    EXPECT_EQ(bare.expected, (std::vector<std::uint32_t>{49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59}));
}

TEST(TemplateGrammar, SectionEndTagOnlyClosesASectionBody) {
    auto r = templateTables().parse("x</TSOUTPUT>");
    // In list 0 "</TSOUTPUT>" is plain text; only a section body knows token 158.
    EXPECT_TRUE(r.accepted);
    auto body = templateTables().parse("<TSOUTPUT>x");
    EXPECT_TRUE(body.syntaxError);
    EXPECT_NE(std::find(body.expected.begin(), body.expected.end(), 158u), body.expected.end());
}

}  // namespace
